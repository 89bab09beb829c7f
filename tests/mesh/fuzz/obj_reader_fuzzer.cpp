// libFuzzer target: random bytes through both OBJ readers and writers.
#include <cstdio>
#include <cstdlib>

#include <QtGlobal>

#include "ObjFuzzEntry.h"

namespace {

void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The reader's debug lines would drown the fuzzer's own output.
    qInstallMessageHandler(quietHandler);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString difference = ObjFuzz::checkOneInput(data, size);
    if (!difference.isEmpty()) {
        std::fprintf(stderr, "Readers differ: %s\n", qPrintable(difference));
        std::abort();
    }
    return 0;
}
