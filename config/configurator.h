#pragma once

// Configurator is spread over several sources, one area each:
// configurator.cpp (session and readout), configurator_settings.cpp (option
// lists and deploy), configurator_masks.cpp (channel masks),
// configurator_report.cpp (device report), configurator_status.cpp (dongle
// and radio status texts), configurator_progress.cpp (update progress) and
// firmware/configurator_update.cpp (firmware updates). Reply decoding and
// frame building are plain functions in radioframes.h.

#include "config/radioframes.h"
#include "config/radiosetup.h"
#include "firmware/dongleprogrammer.h"
#include "firmware/serialthread.h"

#include <QIcon>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

class Usbd;

// The controller behind the scene: it reads the radio behind the dongle into
// properties, collects the operator's changes and writes them back.
class Configurator : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList isListforRadioMode READ isListforRadioMode NOTIFY radioModechanged)
    Q_PROPERTY(QStringList isPowerList READ isPowerList NOTIFY radioPowerloaded)
    Q_PROPERTY(QStringList isListforRadio_direction READ isListforRadio_direction NOTIFY radioDirectionChanged)
    Q_PROPERTY(int isoperatingBand READ isoperatingBand WRITE powerList NOTIFY radioPowerloaded)
    Q_PROPERTY(int isHighbandstate READ isHighbandstate WRITE on_enable58_currentIndexChanged NOTIFY enable58changed)
    Q_PROPERTY(int isadaptivestate READ isadaptivestate WRITE on_adaptiveHopping_currentIndexChanged NOTIFY adaptivehoppingChanged)
    Q_PROPERTY(int isRDMEnabledstate READ isRDMEnabledstate WRITE on_enableRDM_currentIndexChanged NOTIFY enableRDMchanged)
    Q_PROPERTY(int isPowerset READ isPowerset WRITE writePowerSettings NOTIFY OutputPowerChanged)
    Q_PROPERTY(QString isDongleHWVersion READ isDongleHWVersion CONSTANT)
    Q_PROPERTY(QString isDongleVersion READ isDongleVersion NOTIFY isconnectedDongle)
    Q_PROPERTY(QString isDongleBootLoaderVersion READ isDongleBootLoaderVersion)
    Q_PROPERTY(QString isUpdaterstatusMessage READ isUpdaterstatusMessage)
    Q_PROPERTY(int isUpdateOutcome READ updateOutcome NOTIFY updateFinished)
    Q_PROPERTY(QString isUpdateReason READ updateReason NOTIFY updateFinished)
    Q_PROPERTY(QString isStatusVELTRA READ isStatusVELTRA NOTIFY VeltraStatusChanged)
    Q_PROPERTY(QString isupdaterAutorebootLabel READ isupdaterAutorebootLabel CONSTANT)
    Q_PROPERTY(QString istrxSerial READ istrxSerial CONSTANT)
    Q_PROPERTY(QString istrxMCU READ istrxMCU CONSTANT)
    Q_PROPERTY(QString istrxCode READ istrxCode CONSTANT)
    Q_PROPERTY(QString istrxBootloader READ istrxBootloader CONSTANT)
    Q_PROPERTY(QString istrxModel READ istrxModel CONSTANT)
    Q_PROPERTY(QString istrxVersion READ istrxVersion CONSTANT)
    Q_PROPERTY(QString isUpTime READ isUpTime NOTIFY upTimeChanged)
    Q_PROPERTY(QString isDeviceLabel READ isDeviceLabel WRITE on_deviceLabel_textChanged NOTIFY DeviceLabelChanged)
    Q_PROPERTY(QString isRadioID READ isRadioID CONSTANT)
    Q_PROPERTY(QString isHopTable READ isHopTable NOTIFY copyPressed)
    Q_PROPERTY(QString isAddonVersion READ isAddonVersion CONSTANT)
    Q_PROPERTY(QString isswVersion READ isswVersion CONSTANT)
    Q_PROPERTY(QString issvnRevision READ issvnRevision CONSTANT)
    Q_PROPERTY(QString istrxHWVersion READ istrxHWVersion CONSTANT)
    Q_PROPERTY(QString ispresentRadioMode READ ispresentRadioMode CONSTANT)
    Q_PROPERTY(QString ispresentPower READ ispresentPower NOTIFY powerSignal)
    Q_PROPERTY(QString islogdata READ islogdata)
    Q_PROPERTY(QString ispresentTransmitterMode READ ispresentTransmitterMode CONSTANT)
    Q_PROPERTY(QList<bool> ismaskedChannels READ ismaskedChannels WRITE currentMaskedChannels NOTIFY MaskingDataChanged)
    Q_PROPERTY(QList<bool> isadaptiveList READ isadaptiveList)
    Q_PROPERTY(int isProgress READ isProgress WRITE setUpdaterProgressBar NOTIFY ProgressChanged)
    Q_PROPERTY(bool isDongleVersionUI READ isDongleVersionUI NOTIFY DongleVersionOK)
    Q_PROPERTY(bool isDongleState READ isDongleState NOTIFY DongleConnectionOK)
    Q_PROPERTY(bool isfileErrorstate READ isfileErrorstate NOTIFY filetypeError)
    Q_PROPERTY(bool isr8Box READ isr8Box)
    Q_PROPERTY(QString isStoreError READ storeError NOTIFY storeFailed)

public:
    // What firmwareUpdate is asked to update; the scene uses the names.
    enum updates { radio_update = 0, addon_update = 1, dongle_update = 2 };
    Q_ENUM(updates)
    // How the last update ended, set once per update by the update code; the
    // status text is made from it and never read back to decide anything.
    enum UpdateOutcome { UpdateNone = -1, UpdateComplete = 0, UpdateCanceled = 1, UpdateFailed = 2 };
    Q_ENUM(UpdateOutcome)
    int updateOutcome() const { return m_updateOutcome; }
    // Why the last update failed, as a short name the scene turns into the
    // operator's language ("updater.reason." + name); empty unless it failed.
    QString updateReason() const { return m_updateReason; }
    // The last update's own closing text. The status message above is
    // shared with the dongle's state, which may overwrite it afterwards.
    QString updateMessage() const { return m_updateMessage; }

    explicit Configurator(Usbd *usbd);
    ~Configurator() override;

    // Radio and add-on updates: the package is loaded here, then uploaded by
    // the thread. A dongle update hands the dongle to avrdude, which runs
    // beside the event loop. Either way updateFinished tells the end, once.
    // `UpdaterfilePath` may be a file URL.
    Q_INVOKABLE void firmwareUpdate(int updateType, QString UpdaterfilePath);
    // Stops a running update; `path` is not used.
    Q_INVOKABLE void cancelUpdate(int type, QString path);
    bool dongleUpdateRunning() const { return m_dongleUpdateRunning; }

    // The path behind what the file dialog hands over: a file URL becomes a
    // local path (percent escapes decoded; "file:///C:/fw/radio.vfp" gives
    // "C:/fw/radio.vfp" everywhere), anything else is taken as it is.
    static QString updaterFilePath(const QString &fromScene);
    // avrdude in the folder of that name beside the program, else under the
    // start-up folder `start`, else on the PATH; `folder` gets the folder it
    // is to run in.
    static QString findDongleProgrammer(const QString &programFolder, const QString &start, QString *folder);

    // Setups. A setup value this radio cannot take is refused with the key
    // and the reason; `missing` when the radio has no such setting or band
    // at all (rather than no such value), which SkipMissing passes over.
    struct SetupRefusal
    {
        QString key;
        QString reason;
        bool missing = false;
    };
    enum SetupOption { NoSetupOption = 0, SkipMissing = 1, IndicesAllowed = 2 };
    Q_DECLARE_FLAGS(SetupOptions, SetupOption)
    // The settings of the radio read last, with the operator's choices.
    RadioSetup currentSetup();
    // Checks every value of `setup` against what this radio offers; when none
    // is refused, queues them all as if the operator had chosen them (the
    // views show the choices) and returns nothing. Otherwise nothing is
    // queued. Skipped settings (SkipMissing) are named in `skipped`.
    // IndicesAllowed also takes an option's position for its name.
    QList<SetupRefusal> applySetup(const RadioSetup &setup, SetupOptions options = NoSetupOption,
                                   QStringList *skipped = nullptr);
    // The window's Export and Apply (a path or a file URL from the dialog):
    // the export's error, empty when written. The apply takes what this radio
    // offers and passes over what it has not: {"taken": whether the setup was
    // queued, "lines": its refusals, or what was passed over, one each}.
    Q_INVOKABLE QString exportSetup(const QString &file);
    Q_INVOKABLE QVariantMap applySetupFile(const QString &file);

    // What the radio read last can be told, from its capabilities and level:
    // the bands it has (0 2.4, 1 5.2, 2 5.8 GHz), whether it keeps a label.
    // The views and the command line ask the same question.
    Q_INVOKABLE bool offersBand(int band) const;
    Q_INVOKABLE bool offersLabel() const;
    // Whether a setting (a setup's key: "mode", "power58", ...) can be
    // written to this radio: what the window enables and `set` takes.
    Q_INVOKABLE bool offersSetting(const QString &key) const;
    static int bandOfKey(const QString &key);
    // Why a label cannot go to the radio, empty when it can: printable
    // Latin-1, at most 32 characters, for every way a label comes in.
    Q_INVOKABLE QString labelProblem(const QString &label) const;

    // The radio and add-on upload; constructed with the dongle link and
    // stopped and waited for when the Configurator goes.
    SerialThread serialThread;

    QStringList isListforRadioMode() const { return m_listForRadioMode; }
    QStringList isPowerList() const { return m_powerList; }
    QStringList isListforRadio_direction() const { return m_listForDirection; }
    int isoperatingBand() const { return m_operatingBand; }
    int isHighbandstate() const { return m_highbandState; }
    int isadaptivestate() const { return m_adaptiveState; }
    int isRDMEnabledstate() const { return m_rdmEnabledState; }
    int isPowerset() const { return m_powerSet; }
    QString isDongleHWVersion() const { return m_dongleHWVersion; }
    QString isDongleVersion() const { return m_dongleVersion; }
    QString isDongleBootLoaderVersion() const { return m_dongleBootLoaderVersion; }
    QString isUpdaterstatusMessage() const { return m_updaterStatusMessage; }
    QString isStatusVELTRA() const { return m_statusVeltra; }
    QString isupdaterAutorebootLabel() const { return m_updaterAutorebootLabel; }
    QString istrxSerial() const { return m_trxSerial; }
    QString istrxMCU() const { return m_trxMCU; }
    QString istrxCode() const { return m_trxCode; }
    QString istrxBootloader() const { return m_trxBootloader; }
    QString istrxModel() const { return m_trxModel; }
    QString istrxVersion() const { return m_trxVersion; }
    QString isUpTime() const { return m_upTime; }
    QString isDeviceLabel() const { return m_deviceLabel; }
    QString isRadioID() const { return m_radioID; }
    QString isHopTable() const { return m_hopTable; }
    QString isAddonVersion() const { return m_addonVersion; }
    QString isswVersion() const { return m_swVersion; }
    QString issvnRevision() const { return m_svnRevision; }
    QString istrxHWVersion() const { return m_trxHWVersion; }
    QString ispresentRadioMode() const { return m_presentRadioMode; }
    QString ispresentPower() const { return m_presentPower; }
    QString islogdata() const { return logFolderPath; }
    QString ispresentTransmitterMode() const { return m_presentTransmitterMode; }
    QList<bool> ismaskedChannels() const { return m_maskedChannels; }
    QList<bool> isadaptiveList() const { return m_adaptiveList; }
    int isProgress() const { return m_progress; }
    bool isDongleVersionUI() const { return m_dongleVersionUI; }
    bool isDongleState() const { return m_dongleState; }
    bool isfileErrorstate() const { return m_fileErrorState; }
    bool isr8Box() const { return m_r8Box; }

    // Handed over by start-up: where logs and reports go, and the folder the
    // program was started from (firmware tools are looked up beneath it).
    QString logFolderPath;
    QString workingDirectoryPath;

    // Read by the report, the firmware update and the tests.
    RadioCapabilities radioCapabilities;
    RadioSettings radioSettings;
    int trxHardwareNumber = 0;
    int addonType = 0;
    QList<int> deployList;

    // Selections the operator made, one per setting; sent by the deploy.
    int radioModeIndex = 0;
    int directionIndex = 0;
    int power24Index = 0;
    int power58Index = 0;
    int power52Index = 0;

    QStringList powerList24, powerList58, powerList52;
    QString presentPower24, presentPower58, presentPower52;
    QStringList adaptiveOptions, rdmOptions;

    // Channel masks: band lists as read, as being decoded, as cut for a deploy.
    QList<bool> maskList24, maskList52, maskList58;
    QList<bool> readoutMask24, readoutMask52, readoutMask58;
    QList<bool> deployMask24, deployMask52, deployMask58;
    int channelFlags[88] = {};
    quint8 maskBytes[16] = {};

    static const QStringList barsPowerTable;
    static const QStringList legacyPowerTable;
    static const QStringList mwPowerTable24;
    static const QStringList mwPowerTable58;
    static const QStringList levelPowerTable;
    static const QStringList offOnTable;
    static const QStringList dashTable;

signals:
    void radioModechanged();
    void radioPowerloaded();
    void radioDirectionChanged();
    void enable58changed();
    void adaptivehoppingChanged();
    void enableRDMchanged();
    void OutputPowerChanged();
    void isconnectedDongle();
    void VeltraStatusChanged();
    void upTimeChanged();
    void DeviceLabelChanged();
    void copyPressed();
    void powerSignal();
    void MaskingDataChanged();
    void ProgressChanged();
    void DongleVersionOK();
    void DongleConnectionOK();
    void filetypeError();
    void connectButtonClicked();
    void disconnectButtonClicked();
    void maskListUI();
    void storeAndDisconectClicked();
    void storeFailed();
    void shutdownApplication();
    // A radio or add-on upload has started, or a dongle update has ended
    // (with its outcome in isUpdaterstatusMessage).
    void FirmwareUpdatesofSystem();
    // The readout of a radio has ended: complete, or stopped by a failure.
    void readoutFinished(bool complete);
    // An update has ended with this outcome (UpdateOutcome).
    void updateFinished(int outcome);
    // A file the product keeps on its own (the device report, the log) was
    // not written; `why` names the file and the reason. The operator is told.
    void fileNotWritten(const QString &why);
    void startSync();

public slots:
    // Session and readout.
    void loadVELTRA();
    void unloadVELTRA();
    void initGUI();
    void resetConfigGUI();
    void disableConfigGUI();
    int runCommand(int command);
    void on_connect_clicked();
    void on_disconnect_clicked();
    void updateLiveData();

    // Status presentation.
    void showDongleVersion();
    void showProtocolVersion(int version);
    QString getModelFromSignature(QString signature);
    bool DongleandDMXconnected();
    bool DongleConnected();

    // Settings and deploy.
    void powerList(int mode);
    void writePowerSettings(int index);
    void on_radioMode_currentIndexChanged(int index);
    void on_direction_currentIndexChanged(int index);
    void on_adaptiveHopping_currentIndexChanged(int index);
    void on_enableRDM_currentIndexChanged(int index);
    void on_enable58_currentIndexChanged(int index);
    void on_deviceLabel_textChanged(QString arg1);
    void on_storeAndDisconnect_clicked();
    // The defaults' frames go out 500 ms apart; false when one could not
    // be sent or the radio takes no such frames.
    bool restoreFactoryDefaults();
    bool on_deployDefaultFlexButton_clicked();
    bool on_deployDefaultPin10_clicked();

    // Channel masks.
    void bitMaskToList(quint8 *mask, int index);
    void setAllCurrentMaskedChannels(QList<bool> channel, int wifiBand);
    void currentMaskedChannels(QList<bool> maskList);
    void splitMaskList(int band);
    void listToBitMask(int bandValue);
    void maskingChanged(int mode);

    // Device report, hop table copy, log folder.
    int writeDeviceLog(QString fileName);
    void on_clipboard_copy_pressed();
    void on_openSystemLogFilePath_clicked();

    // Firmware update progress.
    void initUpdaterProgressBar(int range);
    void setUpdaterProgressBar(int value);
    void fileError(bool value);

    // Firmware update: the end of an upload run, and hooks the updater view
    // may call that have nothing to do here.
    void serialThreadTerminated();
    void updateProgressBarState(int state);
    void updateProgressBarValue(int value);
    void updateOverlayIcon(int index);
    void SetOverlayIcon(QIcon icon, QString description);

public:
    // One line of the device report: its fixed text and its value; both
    // empty for the blank lines between groups.
    struct ReportLine
    {
        QString label;
        QString value;
    };
    // The report's lines after its title, in order.
    QList<ReportLine> reportLines();

    // Sends every pending item, 500 ms apart, and empties the list; false
    // when a frame could not be sent (the items after it are dropped).
    bool deployPending();

    int executeDeployItem(int item);
    // Where Save & Disconnect writes the report of the radio read last.
    QString reportFileName() const;
    // Why the last Save & Disconnect stored nothing, in plain words (which
    // settings the radio did not take, or that it did not confirm the
    // store); empty after a store it confirmed.
    QString storeError() const { return m_storeError; }
    // Reads back each frame written since the readout and names the
    // settings the radio does not hold as sent; one read that fails names
    // itself. Empty when the radio holds all of them.
    QStringList settingsNotTaken();
    // Why the last report could not be written; empty after one was.
    QString reportError() const { return m_reportError; }

private slots:
    void deployListAppend(int mode);
    void deployListClear();

private:
    void forgetRadio();
    bool readRadio();
    void finishUpdate(int outcome, const QString &message, const QString &reason = QString());
    void buildSettingsLists();
    void followModeToItsBand();
    void decodeBand(int band);
    void buildSettingsFrame();
    QString reportMaskBytes(int band);
    int protocolLevel() const;
    quint8 inByte(int index) const;
    void setStatusVeltra(const QString &text);
    void updateRadio(int updateType, const QString &path);
    void updateDongle(const QString &path);
    void endDongleUpdate(int outcome, const QString &message, const QString &reason = QString());
    void startUpdateRecord();
    void runDongleProgrammer();
    void cancelDongleUpdate();
    void dongleProgrammerFinished(int result);
    QString dongleProgrammer(QString *folder) const;
    void awaitRadioBack();
    void lookForRadio();
    void radioBack(bool readout);
    void radioNotBack();
    bool readBackReply(int command);
    void endRadioUpdate(int outcome, const QString &message, const QString &reason);

    Usbd *m_usbd;
    quint8 *m_dmxIn;
    quint8 *m_dmxOut;

    int disconnectRequested = 0;
    int m_updateOutcome = UpdateNone;
    QString m_updateReason;
    QString m_updateMessage;
    // The dongle update: the wait for its bootloader, then avrdude. The link
    // is released for the whole of it.
    DongleProgrammer m_programmer;
    QTimer m_bootloaderStart;
    bool m_dongleUpdateRunning = false;
    QString m_programmerPath;
    QStringList m_programmerArguments;
    QString m_programmerFolder;
    // After an upload: the wait for the radio to answer as an application
    // again, with its new firmware read back.
    QTimer m_radioBackLimit;
    QMetaObject::Connection m_radioBackReadout;
    bool m_radioUpdateRunning = false;
    QString m_reportError;
    // The settings as the radio reported them and what the operator chose:
    // a settings frame sends back every byte nobody chose exactly as read.
    RadioFrames::SettingsPayload m_settingsRead {};
    RadioFrames::SettingsEdits m_edits;
    // Per band (0 2.4, 1 5.2, 2 5.8 GHz): what of it the operator edited, and
    // whether it was named explicitly (a setup's power58, say), which keeps
    // the edit on its band whatever mode is chosen.
    struct BandEdit
    {
        bool power = false;
        bool mask = false;
        bool pinned = false;
    };
    BandEdit m_bandEdits[3];
    // Every frame sent since the readout, by deploy item, as it went out:
    // what the read-back before the store compares with.
    QMap<int, QByteArray> m_sentFrames;
    QList<int> m_notTaken;
    QString m_storeError;
    // The option lists with the codes the radio knows their entries by.
    RadioChoices m_modes;
    RadioChoices m_directions;

    QStringList m_listForRadioMode;
    QStringList m_powerList;
    QStringList m_listForDirection;
    int m_operatingBand = 0;
    int m_highbandState = -1;
    int m_adaptiveState = -1;
    int m_rdmEnabledState = -1;
    int m_powerSet = 0;
    QString m_dongleHWVersion;
    QString m_dongleVersion;
    QString m_dongleBootLoaderVersion;
    QString m_updaterStatusMessage;
    QString m_statusVeltra;
    QString m_updaterAutorebootLabel;
    QString m_trxSerial;
    QString m_trxMCU;
    QString m_trxCode;
    QString m_trxBootloader;
    QString m_trxModel;
    QString m_trxVersion;
    QString m_upTime;
    QString m_deviceLabel;
    QString m_radioID;
    QString m_hopTable;
    QString m_addonVersion;
    QString m_swVersion;
    QString m_svnRevision;
    QString m_trxHWVersion;
    QString m_presentRadioMode;
    QString m_presentPower;
    QString m_presentTransmitterMode;
    QList<bool> m_maskedChannels;
    QList<bool> m_adaptiveList;
    int m_progress = 0;
    int m_progressRange = 0;
    int m_progressValue = -1;
    bool m_dongleVersionUI = false;
    bool m_dongleState = false;
    bool m_fileErrorState = false;
    bool m_r8Box = false;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(Configurator::SetupOptions)
