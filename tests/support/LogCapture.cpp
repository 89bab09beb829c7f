#include "support/LogCapture.h"

#include <QMutexLocker>
#include <atomic>

namespace TestSupport {

namespace {
std::atomic<LogCapture*> active{nullptr};
}

LogCapture::LogCapture()
{
    Q_ASSERT(!active.load());
    active = this;
    previous_ = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(previous_);
    active = nullptr;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    LogCapture* self = active.load();
    if (!self)
        return;
    QMutexLocker lock(&self->mutex_);
    self->lines_.append({type, text});
}

QList<LogCapture::Line> LogCapture::lines() const
{
    QMutexLocker lock(&mutex_);
    return lines_;
}

QStringList LogCapture::texts() const
{
    QStringList out;
    for (const Line& line : lines())
        out << line.text;
    return out;
}

QStringList LogCapture::texts(QtMsgType type) const
{
    QStringList out;
    for (const Line& line : lines())
        if (line.type == type)
            out << line.text;
    return out;
}

bool LogCapture::contains(const QString& fragment) const
{
    for (const Line& line : lines())
        if (line.text.contains(fragment))
            return true;
    return false;
}

void LogCapture::clear()
{
    QMutexLocker lock(&mutex_);
    lines_.clear();
}

}  // namespace TestSupport
