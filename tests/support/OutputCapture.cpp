#include "support/OutputCapture.h"

#include <unistd.h>
#include <cstdio>
#include <cstdlib>

namespace TestSupport {

OutputCapture::OutputCapture(int fd) : fd_(fd)
{
    std::fflush(nullptr);
    char name[] = "/tmp/plyform-capture-XXXXXX";
    file_ = mkstemp(name);
    if (file_ < 0)
        return;
    unlink(name);
    saved_ = dup(fd_);
    dup2(file_, fd_);
}

OutputCapture::~OutputCapture()
{
    finish();
}

QByteArray OutputCapture::finish()
{
    if (file_ < 0)
        return {};
    std::fflush(nullptr);
    dup2(saved_, fd_);
    close(saved_);
    QByteArray out;
    lseek(file_, 0, SEEK_SET);
    char buffer[4096];
    ssize_t n;
    while ((n = read(file_, buffer, sizeof buffer)) > 0)
        out.append(buffer, int(n));
    close(file_);
    file_ = -1;
    return out;
}

QByteArray captureStderr(const std::function<void()>& call)
{
    OutputCapture capture(2);
    call();
    return capture.finish();
}

QByteArray captureStdout(const std::function<void()>& call)
{
    OutputCapture capture(1);
    call();
    return capture.finish();
}

}  // namespace TestSupport
