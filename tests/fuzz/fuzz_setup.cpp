// Setup files of any text. A refused file leaves the setup as it was and
// says why; an accepted one is written again as a file that reads back to
// the same settings, so what a batch applies is what the file said.
#include "config/radiosetup.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    const QByteArray json(reinterpret_cast<const char *>(bytes), int(size));
    RadioSetup setup;
    setup.set(QStringLiteral("label"), QStringLiteral("untouched"));
    QString error;
    if (!setup.fromJson(json, &error)) {
        if (error.isEmpty() || setup.value(QStringLiteral("label")) != QLatin1String("untouched"))
            std::abort();
        return 0;
    }
    RadioSetup again;
    if (!again.fromJson(setup.toJson(), &error) || again.settings != setup.settings || again.model != setup.model
        || again.serial != setup.serial || again.firmware != setup.firmware || again.exported != setup.exported)
        std::abort();
    return 0;
}
