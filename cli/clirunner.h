#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

class Configurator;
class Usbd;
struct DriverSelection;

// veltra-cli: the window's dongle link and device session driven from a
// terminal or a script. Every command reuses the objects the window uses;
// this class only reads arguments, waits and prints.
class CliRunner : public QObject
{
    Q_OBJECT
public:
    // Exit codes, one per kind of failure, so scripts can tell them apart.
    enum Exit {
        Ok = 0,
        Usage = 1,
        NoDongle = 2,
        NoRadio = 3,
        Refused = 4,
        PackageError = 5,
        UploadFailed = 6,
        StoreFailed = 7,
        DongleUpdateFailed = 8,
        ReadoutFailed = 9,
    };

    explicit CliRunner(const QStringList &arguments);
    ~CliRunner() override;

    int run();

private:
    int parseOptions();
    int openDongle();
    int runOnDongle(const QString &command);
    // Reads the radio, waiting at most limitMs (the whole --timeout when -1)
    // and never past the command's deadline.
    int readRadio(int limitMs = -1);

    int info();
    int report();
    int set();
    int defaults();
    int verify();
    int watch();
    int update();
    int updateDongle(const QString &file);

    int deployAndFinish();
    int storeAndFinish();
    void showProgress(int percent);
    // Runs the event loop until done() or the time-out (-1: none); Ctrl-C ends
    // the wait too unless heedInterrupt is false.
    bool waitFor(const std::function<bool()> &done, int timeoutMs, bool heedInterrupt = true);
    int fail(Exit code, const QString &message);
    void print(const QString &line);

    QStringList m_arguments;   // as given, without the program name
    QStringList m_command;     // the command and its own arguments
    QStringList m_driverArguments;
    bool m_log = false;
    bool m_json = false;
    bool m_store = false;
    int m_timeoutMs = 10000;
    QDeadlineTimer m_deadline;
    bool m_timeoutGiven = false;

    std::unique_ptr<Usbd> m_usbd;
    std::unique_ptr<Configurator> m_configurator;
};
