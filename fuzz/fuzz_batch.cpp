// Batch scripts: Load reads and checks every step (without a screen) and either accepts the script
// or refuses it with a message.
#include "FuzzSupport.h"
#include "host/Batch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TBatchRun run;
    QString error;
    if (!run.Load(Fuzz::WriteScratch(Fuzz::Bytes(data, size)), error)) {
        if (error.isEmpty())
            Fuzz::Fail("script refused without a message");
        return 0;
    }
    if (!error.isEmpty())
        Fuzz::Fail("script accepted with a message");
    const THostContext &ctx = run.Context();
    if (ctx.Operator.isEmpty() || ctx.Password.isEmpty() || ctx.Database.isEmpty() || ctx.ServerPort < 1 || ctx.ServerPort > 65535)
        Fuzz::Fail("script accepted with an unusable context");
    return 0;
}
