import QtQuick 2.15

// Follows whether the dongle is open with a radio answering behind it. The
// dongle's loss is seen at once in its version text; the radio's comes with
// the next status poll.
QtObject {
    id: presence

    // Writes each change of the dongle state to the diagnostic log.
    property bool logChanges: false
    // The state is re-announced after every status poll; a property only
    // reports a change.
    readonly property bool dongleState: configurator.isDongleState
    readonly property bool dongleOpen: configurator.isDongleVersion !== "Disconnected"
    readonly property bool present: dongleState && dongleOpen
    property bool lastPresent: false

    // The dongle and the radio answer.
    signal found()
    // The dongle or the radio has gone.
    signal lost()

    // The log line comes first: a view that moves on in answer to the change
    // is gone before anything after it would run.
    onDongleStateChanged: {
        if (logChanges)
            console.log("current dongle state " + dongleState)
        check()
    }
    onDongleOpenChanged: check()

    Component.onCompleted: lastPresent = present

    function check() {
        var now = dongleState && dongleOpen
        if (now === lastPresent)
            return
        lastPresent = now
        if (now)
            found()
        else
            lost()
    }
}
