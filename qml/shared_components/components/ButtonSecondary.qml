import QtQuick 2.15

// An action beside the main one: outlined, so the main one still leads.
Button {
    variant: "secondary"
}
