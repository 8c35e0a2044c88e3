import QtQuick 2.15

// A choice that sits beside other controls: outlined in yellow.
Dropdown {
    variant: "secondary"
}
