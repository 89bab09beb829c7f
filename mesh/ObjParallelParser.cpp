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
{
}

void ParseElementsObject::compute()
{
    qDebug() << "Calling virtual slot ParseElementsObject::compute()";
    emit finished();
}

void ParseVectors3DObject::compute()
{
    QElapsedTimer timer;
    timer.start();
    results = parseElements<QVector3D>(lines, keywordLines, keyword, &parseVector3D, ok, error);
    qDebug() << "Parsing Vectors3D took" << timer.elapsed() << "ms";
    emit finished();
}

QList<QVector3D> ParseVectors3DObject::getResults(bool& ok, QString& error) const
{
    ok = this->ok;
    error = this->error;
    return results;
}

void ParseVectors2DObject::compute()
{
    QElapsedTimer timer;
    timer.start();
    results = parseElements<QVector2D>(lines, keywordLines, keyword, &parseVector2D, ok, error);
    qDebug() << "Parsing Vectors2D took" << timer.elapsed() << "ms";
    emit finished();
}

QList<QVector2D> ParseVectors2DObject::getResults(bool& ok, QString& error) const
{
    ok = this->ok;
    error = this->error;
    return results;
}

void ParseFacesObject::compute()
{
    QElapsedTimer timer;
    timer.start();
    results = parseElements<Face>(lines, keywordLines, keyword, &parseFace, ok, error);
    qDebug() << "Parsing Faces took" << timer.elapsed() << "ms";
    emit finished();
}

QList<Face> ParseFacesObject::getResults(bool& ok, QString& error) const
{
    ok = this->ok;
    error = this->error;
    return results;
}

ParserAsync::ParserAsync(const QStringList& lines, const QList<KeywordLine>& keywordLines, QObject* parent)
    : QObject(parent), lines(lines), keywordLines(keywordLines)
{
}

ParserAsync::~ParserAsync()
{
    // A thread may still run its parse, or may have emitted finished() without having ended yet;
    // destroying a running QThread would end the program.
    for (const QPointer<QThread>& thread : threads) {
        if (thread) {
            thread->quit();
            thread->wait();
        }
    }
    delete vertexParser;
    delete textureVertexParser;
    delete normalParser;
    delete faceParser;
}

void ParserAsync::getResults(QList<QVector3D>& vertices, QList<QVector2D>& textureVertices,
                             QList<QVector3D>& normals, QList<Face>& faces, bool& ok, QString& error) const
{
    vertices = this->vertices;
    textureVertices = this->textureVertices;
    normals = this->normals;
    faces = this->faces;
    ok = this->ok;
    error = this->error;
}

void ParserAsync::parse()
{
    vertexParser = new ParseVectors3DObject(lines, keywordLines, "v");
    textureVertexParser = new ParseVectors2DObject(lines, keywordLines, "vt");
    normalParser = new ParseVectors3DObject(lines, keywordLines, "vn");
    faceParser = new ParseFacesObject(lines, keywordLines, "f");
    finishedCount = 0;
    startThread(vertexParser);
    startThread(textureVertexParser);
    startThread(normalParser);
    startThread(faceParser);
}

void ParserAsync::startThread(ParseElementsObject* parser)
{
    QThread* thread = new QThread(this);
    threads.append(QPointer<QThread>(thread));
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
    ++finishedCount;
    if (finishedCount == parserCount)
        onAllParsersFinished();
}

void ParserAsync::onAllParsersFinished()
{
    qDebug() << "All parsers finished";
    bool vertexOk = false, textureVertexOk = false, normalOk = false, faceOk = false;
    QString vertexError, textureVertexError, normalError, faceError;
    vertices = vertexParser->getResults(vertexOk, vertexError);
    delete vertexParser;
    vertexParser = nullptr;
    textureVertices = textureVertexParser->getResults(textureVertexOk, textureVertexError);
    delete textureVertexParser;
    textureVertexParser = nullptr;
    normals = normalParser->getResults(normalOk, normalError);
    delete normalParser;
    normalParser = nullptr;
    faces = faceParser->getResults(faceOk, faceError);
    delete faceParser;
    faceParser = nullptr;

    ok = vertexOk && textureVertexOk && normalOk && faceOk;
    QStringList errors;
    for (const QString& text : {vertexError, textureVertexError, normalError, faceError})
        if (!text.isEmpty())
            errors.append(text);
    error = errors.join("\n");
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
