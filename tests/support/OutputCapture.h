#pragma once
// Captures what a call writes to a file descriptor (printf to stderr, CHOLMOD's
// warnings on stdout) by redirecting the descriptor itself.
#include <QByteArray>
#include <functional>

namespace TestSupport {

class OutputCapture {
public:
    explicit OutputCapture(int fd);  // 1 = stdout, 2 = stderr
    ~OutputCapture();
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;

    // Restores the descriptor and returns everything written since construction.
    QByteArray finish();

private:
    int fd_;
    int saved_ = -1;
    int file_ = -1;
};

QByteArray captureStderr(const std::function<void()>& call);
QByteArray captureStdout(const std::function<void()>& call);

}  // namespace TestSupport
