#pragma once

#include "config/configurator.h"
#include "config/radiosetup.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

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
        // batch: at least one radio was refused, not stored or not as set.
        BatchFailed = 10,
    };

    explicit CliRunner(const QStringList &arguments);
    ~CliRunner() override;

    int run();

private:
    int parseOptions();
    int openDongle();
    int runOnDongle(const QString &command);
    // The command's exit code, or 7 when --log was asked for and the log
    // file refused lines (which then went to standard error).
    int logChecked(int code);
    // Makes the log folder a store writes its device report into.
    void makeLogFolder();
    // Reads the radio, waiting at most limitMs (the whole --timeout when -1)
    // and never past the command's deadline.
    int readRadio(int limitMs = -1, bool quiet = false);

    int info();
    int report();
    int set();
    int defaults();
    int exportSetup();
    int apply();
    int batch();
    int list();
    // One radio of a batch, read already: its result ("OK" or what went
    // wrong) and the label it ended with.
    QString batchRadio(int number, QString *label);
    // Waits until the radio of `serial` has gone (`gone` set by the link) or
    // another radio answers in its place; false on Ctrl-C.
    bool awaitSwap(const QString &serial, bool *gone);
    // Runs the event loop until the radio behind the dongle is read (1), its
    // readout fails (0) or the time is up or Ctrl-C (-1).
    int awaitReadout(int timeoutMs);
    // Checks and queues a setup; prints what was skipped, and every refusal.
    int queueSetup(const RadioSetup &setup, Configurator::SetupOptions options);
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
    // The whole command's limit: a readout, a deploy with its pauses, the
    // read-back and the store on a 57600-baud line whose adapter delivers
    // every 16 ms take about 15 s; a minute leaves room for retries.
    int m_timeoutMs = 60000;
    // How long a radio is waited for and read when --timeout is not given:
    // a missing radio is told well before the command's limit.
    static constexpr int readoutWaitMs = 20000;
    QDeadlineTimer m_deadline;
    bool m_timeoutGiven = false;
    // Setups: the file read, and how apply and batch take it.
    RadioSetup m_setup;
    bool m_skipMissing = false;
    QString m_label;
    bool m_labelGiven = false;
    QString m_labelPattern;
    int m_count = 0;
    QString m_resultsFile;

    std::unique_ptr<Usbd> m_usbd;
    std::unique_ptr<Configurator> m_configurator;
};
