#pragma once
// Collects Qt log lines (qDebug, qCritical, ...) while alive, instead of printing them.
#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace TestSupport {

class LogCapture {
public:
    struct Line {
        QtMsgType type;
        QString text;
    };

    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QList<Line> lines() const;
    QStringList texts() const;                // every line, any type
    QStringList texts(QtMsgType type) const;  // lines of one type
    bool contains(const QString& fragment) const;
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext&, const QString& text);

    mutable QMutex mutex_;
    QList<Line> lines_;
    QtMessageHandler previous_;
};

}  // namespace TestSupport
