import QtQuick 2.15

// An action that needs no attention drawn to it, or a button that only
// reports what is going on.
Button {
    variant: "muted"
}
