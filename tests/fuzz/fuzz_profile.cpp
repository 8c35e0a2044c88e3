// Simulator profiles of any text. A refused profile leaves the one it was
// to fill untouched and says why; an accepted one names a known radio class.
#include "sim/simprofile.h"

#include <QString>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(bytes), int(size));
    SimProfile profile;
    profile.name = QStringLiteral("untouched");
    QString error;
    if (SimProfile::parse(text, &profile, &error)) {
        if (!SimProfile::names().contains(profile.name))
            std::abort();
    } else if (profile.name != QLatin1String("untouched") || error.isEmpty()) {
        std::abort();
    }
    return 0;
}
