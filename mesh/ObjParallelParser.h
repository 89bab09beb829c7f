#pragma once
// Keyword-indexed OBJ parsing: the lines of a file are read once and indexed by keyword, then
// the "v", "vt", "vn" and "f" lines are parsed on four threads at once with the line parsers of
// the serial reader. Results are element lists; group lines are not handled.
//
//   QStringList lines = readLines(stream);
//   QList<KeywordLine> keywordLines = findKeywords(lines);
//   ParserSync().parse(lines, keywordLines, vertices, textureVertices, normals, faces, ok, error);
//   checkFaceIndices(faces, vertices.size(), textureVertices.size(), normals.size(), error);
#include "mesh/ObjFileImport.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <QThread>
#include <QVector2D>
#include <QVector3D>

namespace ObjFileImport {

// A line's keyword and its 0-based position in the list of lines.
struct KeywordLine {
    KeywordLine() = default;
    KeywordLine(const QString& keyword, int lineNumber) : keyword(keyword), lineNumber(lineNumber) {}
    bool operator==(const KeywordLine& other) const
    {
        return keyword == other.keyword && lineNumber == other.lineNumber;
    }
    bool operator!=(const KeywordLine& other) const { return !(*this == other); }

    QString keyword;
    int lineNumber = -1;
};

// Every line of the stream.
QStringList readLines(QTextStream& stream);
// The lines that have a keyword, in order.
QList<KeywordLine> findKeywords(const QStringList& lines);
// Parses the lines of one keyword in file order. On the first bad line the result is empty, ok
// false and error holds the reader's message for that line. Instances exist for QVector2D,
// QVector3D and Face.
template <typename T>
QList<T> parseElements(const QStringList& lines, const QList<KeywordLine>& keywordLines, const QString& keyword,
                       T (*parseElement)(const QString&, bool&), bool& ok, QString& error);
// The vertex, texture and normal index check of the serial reader, for faces held in a list.
bool checkFaceIndices(const QList<Face>& faces, int nVertices, int nTextureVertices, int nNormalVertices,
                      QString& error);

// Input and outcome of one keyword's parse; lives on its own thread while it computes.
class ParseElementsObject : public QObject {
    Q_OBJECT
public:
    ParseElementsObject(const QStringList& lines, const QList<KeywordLine>& keywordLines, const QString& keyword);

signals:
    void finished();

public slots:
    virtual void compute();

protected:
    const QStringList& lines;
    const QList<KeywordLine>& keywordLines;
    QString keyword;
    bool ok = false;
    QString error;
};

// "v" and "vn" lines.
class ParseVectors3DObject : public ParseElementsObject {
    Q_OBJECT
public:
    using ParseElementsObject::ParseElementsObject;
    QList<QVector3D> getResults(bool& ok, QString& error) const;

public slots:
    void compute() override;

private:
    QList<QVector3D> results_;
};

// "vt" lines.
class ParseVectors2DObject : public ParseElementsObject {
    Q_OBJECT
public:
    using ParseElementsObject::ParseElementsObject;
    QList<QVector2D> getResults(bool& ok, QString& error) const;

public slots:
    void compute() override;

private:
    QList<QVector2D> results_;
};

// "f" lines.
class ParseFacesObject : public ParseElementsObject {
    Q_OBJECT
public:
    using ParseElementsObject::ParseElementsObject;
    QList<Face> getResults(bool& ok, QString& error) const;

public slots:
    void compute() override;

private:
    QList<Face> results_;
};

// Parses the four keywords on four threads and emits finished() on its own thread when all are
// done. The lines and keyword lines must stay unchanged until then. Destroying it waits for
// threads still running.
class ParserAsync : public QObject {
    Q_OBJECT
public:
    ParserAsync(const QStringList& lines, const QList<KeywordLine>& keywordLines, QObject* parent = nullptr);
    ~ParserAsync() override;

    void getResults(QList<QVector3D>& vertices, QList<QVector2D>& textureVertices, QList<QVector3D>& normals,
                    QList<Face>& faces, bool& ok, QString& error) const;

signals:
    void finished();

public slots:
    void parse();
    void onThreadFinished();
    void onAllParsersFinished();

private:
    void startThread(ParseElementsObject* parser);

    const QStringList& lines_;
    const QList<KeywordLine>& keywordLines_;
    ParseVectors3DObject* vertexParser_ = nullptr;
    ParseVectors2DObject* textureVertexParser_ = nullptr;
    ParseVectors3DObject* normalParser_ = nullptr;
    ParseFacesObject* faceParser_ = nullptr;
    QList<QVector3D> vertices_;
    QList<QVector2D> textureVertices_;
    QList<QVector3D> normals_;
    QList<Face> faces_;
    bool ok_ = false;
    QString error_;
    int parserCount_ = 4;
    int finishedCount_ = 0;
    QList<QPointer<QThread>> threads_;
};

// Blocking front of ParserAsync: runs a local event loop until the parse is done.
class ParserSync : public QObject {
    Q_OBJECT
public:
    explicit ParserSync(QObject* parent = nullptr);

    void parse(const QStringList& lines, const QList<KeywordLine>& keywordLines, QList<QVector3D>& vertices,
               QList<QVector2D>& textureVertices, QList<QVector3D>& normals, QList<Face>& faces, bool& ok,
               QString& error);
};

}  // namespace ObjFileImport
