#include "mesh/ObjParallelParser.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace ObjFileImport {

QStringList readLines(QTextStream& stream)
{
    QStringList lines;
    while (!stream.atEnd())
        lines.append(stream.readLine());
    return lines;
}

QList<KeywordLine> findKeywords(const QStringList& lines)
{
    QList<KeywordLine> keywordLines;
    for (int i = 0; i < lines.size(); ++i) {
        const QString keyword = findKeyword(lines.at(i));
        if (!keyword.isEmpty())
            keywordLines.append(KeywordLine(keyword, i));
    }
    return keywordLines;
}

template <typename T>
QList<T> parseElements(const QStringList& lines, const QList<KeywordLine>& keywordLines, const QString& keyword,
                       T (*parseElement)(const QString&, bool&), bool& ok, QString& error)
{
    ok = false;
    error = QString();
    QList<T> result;
    for (const KeywordLine& keywordLine : keywordLines) {
        if (keywordLine.keyword != keyword)
            continue;
        const QString rest = lines.at(keywordLine.lineNumber).mid(keyword.length());
        bool parsed = false;
        const T element = parseElement(rest, parsed);
        if (!parsed) {
            const QString message =
                QString("Failed to parse block \"%1\": \"%2\" line %3").arg(keyword, rest).arg(keywordLine.lineNumber);
            qDebug().noquote() << message;
            if (!error.isEmpty())
                error += "\n";
            error += message;
            return QList<T>();
        }
        result.append(element);
    }
    ok = true;
    return result;
}

template QList<QVector3D> parseElements<QVector3D>(const QStringList&, const QList<KeywordLine>&, const QString&,
                                                   QVector3D (*)(const QString&, bool&), bool&, QString&);
template QList<QVector2D> parseElements<QVector2D>(const QStringList&, const QList<KeywordLine>&, const QString&,
                                                   QVector2D (*)(const QString&, bool&), bool&, QString&);
template QList<Face> parseElements<Face>(const QStringList&, const QList<KeywordLine>&, const QString&,
                                         Face (*)(const QString&, bool&), bool&, QString&);

bool checkFaceIndices(const QList<Face>& faces, int nVertices, int nTextureVertices, int nNormalVertices,
                      QString& error)
{
    return checkFaceIndices(faces.toVector(), nVertices, nTextureVertices, nNormalVertices, error);
}

ParseElementsObject::ParseElementsObject(const QStringList& lines, const QList<KeywordLine>& keywordLines,
                                         const QString& keyword)
    : lines(lines), keywordLines(keywordLines), keyword(keyword)
{}

void ParseElementsObject::compute()
{
    qDebug() << "Calling virtual slot ParseElementsObject::compute()";
    emit finished();
}

void ParseVectors3DObject::compute()
{
    QElapsedTimer timer;
    timer.start();
    results_ = parseElements<QVector3D>(lines, keywordLines, keyword, &parseVector3D, ok, error);
    qDebug() << "Parsing Vectors3D took" << timer.elapsed() << "ms";
    emit finished();
}

QList<QVector3D> ParseVectors3DObject::getResults(bool& ok, QString& error) const
{
    ok = this->ok;
    error = this->error;
    return results_;
}

void ParseVectors2DObject::compute()
{
    QElapsedTimer timer;
    timer.start();
    results_ = parseElements<QVector2D>(lines, keywordLines, keyword, &parseVector2D, ok, error);
    qDebug() << "Parsing Vectors2D took" << timer.elapsed() << "ms";
    emit finished();
}

QList<QVector2D> ParseVectors2DObject::getResults(bool& ok, QString& error) const
{
    ok = this->ok;
    error = this->error;
    return results_;
}

void ParseFacesObject::compute()
{
    QElapsedTimer timer;
    timer.start();
    results_ = parseElements<Face>(lines, keywordLines, keyword, &parseFace, ok, error);
    qDebug() << "Parsing Faces took" << timer.elapsed() << "ms";
    emit finished();
}

QList<Face> ParseFacesObject::getResults(bool& ok, QString& error) const
{
    ok = this->ok;
    error = this->error;
    return results_;
}

ParserAsync::ParserAsync(const QStringList& lines, const QList<KeywordLine>& keywordLines, QObject* parent)
    : QObject(parent), lines_(lines), keywordLines_(keywordLines)
{}

ParserAsync::~ParserAsync()
{
    // A thread may still run its parse, or may have emitted finished() without having ended yet;
    // destroying a running QThread would end the program.
    for (const QPointer<QThread>& thread : threads_) {
        if (thread) {
            thread->quit();
            thread->wait();
        }
    }
    delete vertexParser_;
    delete textureVertexParser_;
    delete normalParser_;
    delete faceParser_;
}

void ParserAsync::getResults(QList<QVector3D>& vertices, QList<QVector2D>& textureVertices, QList<QVector3D>& normals,
                             QList<Face>& faces, bool& ok, QString& error) const
{
    vertices = this->vertices_;
    textureVertices = this->textureVertices_;
    normals = this->normals_;
    faces = this->faces_;
    ok = this->ok_;
    error = this->error_;
}

void ParserAsync::parse()
{
    vertexParser_ = new ParseVectors3DObject(lines_, keywordLines_, "v");
    textureVertexParser_ = new ParseVectors2DObject(lines_, keywordLines_, "vt");
    normalParser_ = new ParseVectors3DObject(lines_, keywordLines_, "vn");
    faceParser_ = new ParseFacesObject(lines_, keywordLines_, "f");
    finishedCount_ = 0;
    startThread(vertexParser_);
    startThread(textureVertexParser_);
    startThread(normalParser_);
    startThread(faceParser_);
}

void ParserAsync::startThread(ParseElementsObject* parser)
{
    QThread* thread = new QThread(this);
    threads_.append(QPointer<QThread>(thread));
    connect(thread, &QThread::started, parser, &ParseElementsObject::compute);
    connect(parser, &ParseElementsObject::finished, thread, &QThread::quit);
    connect(thread, &QThread::finished, this, &ParserAsync::onThreadFinished);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    parser->moveToThread(thread);
    thread->start(QThread::InheritPriority);
}

void ParserAsync::onThreadFinished()
{
    qDebug() << "Parser finished";
    ++finishedCount_;
    if (finishedCount_ == parserCount_)
        onAllParsersFinished();
}

void ParserAsync::onAllParsersFinished()
{
    qDebug() << "All parsers finished";
    bool vertexOk = false, textureVertexOk = false, normalOk = false, faceOk = false;
    QString vertexError, textureVertexError, normalError, faceError;
    vertices_ = vertexParser_->getResults(vertexOk, vertexError);
    delete vertexParser_;
    vertexParser_ = nullptr;
    textureVertices_ = textureVertexParser_->getResults(textureVertexOk, textureVertexError);
    delete textureVertexParser_;
    textureVertexParser_ = nullptr;
    normals_ = normalParser_->getResults(normalOk, normalError);
    delete normalParser_;
    normalParser_ = nullptr;
    faces_ = faceParser_->getResults(faceOk, faceError);
    delete faceParser_;
    faceParser_ = nullptr;

    ok_ = vertexOk && textureVertexOk && normalOk && faceOk;
    QStringList errors;
    for (const QString& text : {vertexError, textureVertexError, normalError, faceError})
        if (!text.isEmpty())
            errors.append(text);
    error_ = errors.join("\n");
    emit finished();
}

ParserSync::ParserSync(QObject* parent) : QObject(parent) {}

void ParserSync::parse(const QStringList& lines, const QList<KeywordLine>& keywordLines, QList<QVector3D>& vertices,
                       QList<QVector2D>& textureVertices, QList<QVector3D>& normals, QList<Face>& faces, bool& ok,
                       QString& error)
{
    ParserAsync parser(lines, keywordLines, this);
    QEventLoop loop;
    connect(&parser, &ParserAsync::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(0, &parser, &ParserAsync::parse);
    loop.exec();
    parser.getResults(vertices, textureVertices, normals, faces, ok, error);
}

}  // namespace ObjFileImport
