import QtQuick 2.15

// Shows the value in force where the radio offers no choice.
Dropdown {
    variant: "muted"
}
