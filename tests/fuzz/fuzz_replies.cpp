// Reply frames of any content and length byte. The decoders read only within
// the frame (the sanitizers watch), an untouched settings frame is the frame
// as read, and a frame the link calls intact has a length that fits and the
// sum of its bytes in its last two slots.
#include "config/radioframes.h"
#include "usb/usbd.h"

#include <QtGlobal>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    static const bool installed = (qInstallMessageHandler(quiet), true);
    Q_UNUSED(installed)
    if (size < 1)
        return 0;
    const int level = bytes[0] % 3;
    quint8 frame[RadioFrames::frameSlots] = {};
    std::memcpy(frame, bytes + 1, std::min(size - 1, sizeof frame));

    const RadioIdentity identity = RadioFrames::decodeIdentity(frame, level);
    const RadioCapabilities caps = RadioFrames::decodeCapabilities(frame, level);
    const RadioSettings settings = RadioFrames::decodeSettings(frame, level, caps.band58Switch != 0);
    RadioFrames::radioModes(caps, identity.hardwareNumber, level);
    RadioFrames::directions(caps, settings, identity.hardwareNumber, level);
    const RadioFrames::SettingsPayload read = RadioFrames::settingsPayloadOf(frame, level);
    if (RadioFrames::settingsFrame(read, RadioFrames::SettingsEdits(), level) != read)
        std::abort();

    static Usbd usbd(nullptr);
    std::memcpy(usbd.dmxInBuffer, frame, sizeof frame);
    if (usbd.checkIntegrity()) {
        const int length = frame[RadioFrames::lengthSlot];
        if (length > Usbd::maxFrameLength)
            std::abort();
        quint16 sum = 0;
        for (int i = 0; i < length; ++i)
            sum = quint16(sum + frame[i]);
        if (frame[length] != quint8(sum >> 8) || frame[length + 1] != quint8(sum))
            std::abort();
    }
    return 0;
}
