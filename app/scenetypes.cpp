#include "scenetypes.h"

#include "config/frequencymaskingdata.h"
#include "config/frequencymaskingmodel.h"

#include <QQmlEngine>
#include <QUrl>

void registerSceneTypes()
{
    qRegisterMetaType<FrequencyMaskingData>("FrequencyMaskingData");
    qmlRegisterType<FrequencyMaskingModel>("FrequencyMaskingModel", 1, 0, "FrequencyMaskingModel");
    qmlRegisterSingletonType(QUrl(QStringLiteral("qrc:/assets/Colours.qml")), "configurator.style.colour", 1, 0, "Colours");
    qmlRegisterSingletonType(QUrl(QStringLiteral("qrc:/assets/Fonts.qml")), "configurator.style.fonts", 1, 0, "Fonts");
}
