#pragma once

class Configurator;
class Usbd;
class QCoreApplication;

// The signal and slot connections between the dongle link, the device
// session and the application, in the order start-up makes them. The
// command-line front end and the tests wire the same way.
void connectSession(Usbd *usbd, Configurator *configurator, QCoreApplication *application);
