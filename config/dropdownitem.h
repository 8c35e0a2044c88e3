#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>

// One option of a list: the key the logic uses and the text the operator sees.
struct DropdownItem
{
    Q_GADGET
    Q_PROPERTY(QString value MEMBER value)
    Q_PROPERTY(QString display MEMBER display)

public:
    QString value;
    QString display;
};

Q_DECLARE_METATYPE(DropdownItem)
