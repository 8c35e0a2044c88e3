#pragma once

#include <QList>
#include <QMetaType>
#include <QObject>

// Three channel-flag lists handed to the scene together.
struct FrequencyMaskingData
{
    Q_GADGET
    Q_PROPERTY(QList<bool> firstMask MEMBER firstMask)
    Q_PROPERTY(QList<bool> secondMask MEMBER secondMask)
    Q_PROPERTY(QList<bool> thirdMask MEMBER thirdMask)

public:
    QList<bool> firstMask;
    QList<bool> secondMask;
    QList<bool> thirdMask;
};

Q_DECLARE_METATYPE(FrequencyMaskingData)
