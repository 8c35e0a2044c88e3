// The real veltra-cli binary over the simulator, as a script would run it.
#include "usb/ptyserver.h"

#include <QtTest>

#include <sys/stat.h>

// An image for MCU 2, closed by the empty frame that lets a radio leave its bootloader.
static const QString goodPackage = QStringLiteral(VELTRA_TEST_SOURCE_DIR "/fuzz/corpus/package/good.vfp");

class TestCli : public QObject
{
    Q_OBJECT

    struct Result { int exitCode = -1; QString out, err; };

private slots:
    // Each radio's fields, then what `set --store` leaves on it.
    void infoAndSet_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QStringList>("assignments");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("r9 set") << "r9"
                                << QStringList{"label=Balcony", "mode=R9 5.8GHz", "direction=1", "power24=3", "mask58=1-10,20"}
                                << QStringList{"Device Label: Balcony", "Tx Mode: R9 5.8GHz", "Direction: Receiver",
                                               "2.4GHz Power: 2 Bars", "5.8GHz Mask (Hex): ff 03 08 00 00 00 00 00 00 00 00"};
        // Control characters a radio reports are spelled out: a label cannot forge a line.
        QTest::newRow("label with control characters")
            << "r9,label=a\x1b]0;owned\x07\nTRX Serial: forged" << QStringList{}
            << QStringList{"Device Label: a\\x1b]0;owned\\x07\\x0aTRX Serial: forged"};
        // A frame lost on the way is seen in the read-back and sent again.
        QTest::newRow("2.4 GHz frame lost once") << "r9,miss=15:1" << QStringList{"power24=3"}
                                                 << QStringList{"2.4GHz Power: 2 Bars"};
        // At level 1 a direction byte of 2 is pin 10, as the flag is.
        QTest::newRow("p1 direction byte 2") << "p1,settings=0200000001000000000000000000" << QStringList{}
                                             << QStringList{"Direction: Set by Pin 10"};
        // A name the radio padded with NULs ends at the first.
        QTest::newRow("model of NULs") << "r9,modelhex=00005239" << QStringList{} << QStringList{"TRX Model: "};
        QTest::newRow("numbers at their edges")
            << "r9,level=255,hardware=255,dongle=255.255.65535,mcu=0,trxhw=0,addon=255,uptime=4294967295,power=255:255:255,latency=255,"
               "firmware=255.255.65535,trxbootloader=255.255.65535,miss=255:1"
            << QStringList{} << QStringList{"Tx Mode: R9 2.4GHz", "Dongle HW: " + QString(QChar(64 + 255)), "Dongle FW: 255.255.65535",
                                            "TRX HW: 0", "Addon Version: Unknown", "2.4GHz Power: ", "TRX FW: 255.255.65535",
                                            "TRX BL: 255.255.65535"};
        // The hardware number names the powers: milliwatts below 16, bars at 16, levels above.
        QTest::newRow("hardware 15") << "r9,trxhw=15" << QStringList{}
                                     << QStringList{"2.4GHz Power: 375mW 4 Bars", "5.8GHz Power: 35mW Bars"};
        QTest::newRow("hardware 17") << "r9,trxhw=17" << QStringList{}
                                     << QStringList{"2.4GHz Power: 4 Bars", "5.8GHz Power: Level 5 L{2-5}"};
        QTest::newRow("pin 10 defaults") << "r9" << QStringList{"defaults", "pin10"} << QStringList{"Direction: Repeater"};
        QTest::newRow("legacy set") << "legacy" << QStringList{"power24=0", "mask24=1-3"}
                                    << QStringList{"2.4GHz Power: 375mW 5 Bars", "2.4GHz Mask (Hex): 07 00 00 00 00 00 00 00 00 00 00"};
    }

    void infoAndSet()
    {
        QFETCH(QString, profile);
        QFETCH(QStringList, assignments);
        QFETCH(QStringList, lines);
        const QString state = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-') + ".json");
        const QString sim = "--simulate=" + profile + ",state=" + state;
        if (!assignments.isEmpty()) {
            const QStringList command = assignments.first() == "defaults" ? assignments : QStringList{"set"} + assignments;
            QCOMPARE(cli(QStringList{sim} + command + QStringList{"--store"}).exitCode, 0);
        }
        const Result r = cli({sim, "info"});
        QCOMPARE(r.exitCode, 0);
        const QStringList out = r.out.split(QLatin1Char('\n'));
        for (const QString &line : lines)
            QVERIFY2(out.contains(line), qPrintable(line + "\n" + r.out));
        // The same fields in the same order for every radio.
        QCOMPARE(out.first(), QStringLiteral("Configurator: 4.1 Revision 983"));
        QVERIFY(out.at(out.size() - 2).startsWith(QStringLiteral("HopTable (Hex): ")));
    }

    // The window's log, written by the command line on request; JSON output.
    void logAndJson()
    {
        const Result r = cli({"--simulate", "--log", "--json", "info"});
        QCOMPARE(r.exitCode, 0);
        const QJsonObject json = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(json.value("Device Label").toString(), QStringLiteral("Stage Left"));
        QVERIFY(contents("Documents/veltra_log/veltra-log.txt").contains("Debug: Configurator Version 4 1 Revision 983\n"));
        // A log the disk takes nothing more of: its lines go to standard error.
        const Result full = cli({"--simulate", "--log", "info"}, -1, DiskFull);
        QVERIFY2(full.err.contains("Configurator Version 4 1 Revision 983"), qPrintable(full.err));
    }

    void refusalsSendNothing_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QStringList>("arguments"); // apply reads setup.json
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QList<int>>("writes");
        const QByteArray fiveGHz = R"({"format": 1, "mode": "R8X 2.4GHz", "mask24": "1-3", "power52": "5 Bars", "mask52": "1-4"})";
        QTest::newRow("mode not offered") << "r9" << QStringList {"set", "label=Kept?", "mode=Nope"} << QByteArray() << 4
                                          << "\"Nope\" is not offered; allowed: 0 \"R7 Compatibility Mode\"" << QList<int> {};
        QTest::newRow("label on a legacy radio") << "legacy" << QStringList {"set", "power24=1", "label=Foo"} << QByteArray()
                                                 << 4 << "a legacy radio takes only power24 and mask24" << QList<int> {};
        QTest::newRow("band the radio lacks, skipped") << "r8x" << QStringList {"apply", "setup.json", "--skip-missing", "--label", "L"}
                                                       << fiveGHz << 0 << "skipped mask52: this radio has no such band"
                                                       << QList<int> {25, 13, 15, 40};
        QTest::newRow("radio silent part-way") << "r9,silent=12" << QStringList {"set", "label=Kept?"} << QByteArray() << 9
                                               << "the radio stopped answering during the readout" << QList<int> {};
        // A label pattern is judged for the first radio and the last, whose number is the longest.
        const QByteArray setup = R"({"format": 1})";
        QTest::newRow("pattern refused for the first radio") << "r9" << QStringList {"batch", "setup.json", "--label-pattern", "\x01{n}"}
                                                             << setup << 1 << "--label-pattern (radio 1): control" << QList<int> {};
        QTest::newRow("pattern refused for the tenth radio")
            << "r9" << QStringList {"batch", "setup.json", "--label-pattern", QString(31, 'x') + "{n}", "--count", "10"} << setup
            << 1 << "--label-pattern (radio 10): at most 32" << QList<int> {};
        QTest::newRow("setup that is a folder") << "r9" << QStringList {"apply", "."} << QByteArray() << 4
                                                << ".: not a regular file" << QList<int> {};
    }

    // The simulator's trace shows what reached the radio: no write of a
    // refused value or setup, and none at all for a refused file.
    void refusalsSendNothing()
    {
        QFETCH(QString, profile);
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, json);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QFile::remove(m_dir.filePath("trace.txt"));
        QVERIFY(write("setup.json", json));
        const Result r = cli(QStringList {"--simulate=" + profile + ",trace=" + m_dir.filePath("trace.txt")} + arguments + QStringList {"--store"});
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2((r.out + r.err).contains(message), qPrintable(r.out + r.err));
        QList<int> sent;
        for (const QByteArray &line : contents("trace.txt").split('\n')) {
            // "  12.345 R>  cc 01 17 7a 3c 0f ..." : byte 5 is the command.
            const QList<QByteArray> words = line.simplified().split(' ');
            const int code = words.size() > 7 && words.at(1) == "R>" ? words.at(7).toInt(nullptr, 16) : -1;
            if (QList<int> {1, 13, 15, 17, 25, 27, 40, 42}.contains(code))
                sent << code;
        }
        QTEST(sent, "writes");
    }

    // Three radios swapped behind the dongle, each applied, stored, read back
    // and logged; each store makes the log folder for its report, without --log.
    // A radio swapped quicker than the link sees one go is told by its serial.
    void batchStoresEachRadio_data()
    {
        QTest::addColumn<QString>("radio");
        QTest::addColumn<QString>("swap");
        QTest::newRow("seen to go") << "r9" << "12";
        QTest::newRow("level 1, swapped at once") << "p1" << "0";
    }

    void batchStoresEachRadio()
    {
        QFETCH(QString, radio);
        QFETCH(QString, swap);
        QCOMPARE(cli({"--simulate=" + radio, "export", "batch.json"}).exitCode, 0);
        // The file says first where it came from, for the person who reads it.
        QVERIFY(QRegularExpression("^\\{\n {4}\"format\": 1,\n {4}\"source\": \\{\n {8}\"model\": \"[^\"]+\",\n {8}\"serial\": \"\\w+\",\n {8}\"firmware\": ")
                    .match(QString::fromUtf8(contents("batch.json"))).hasMatch());
        QDir(m_dir.filePath("Documents/veltra_log")).removeRecursively();
        QFile::remove(m_dir.filePath("results.csv"));
        const Result r = cli({QStringLiteral("--simulate=radios=%1:%1:%1,swap=%2").arg(radio, swap), "batch", "batch.json", "--label-pattern", "Truss {n}",
                              "--log", "results.csv", "--count", "3"});
        QCOMPARE(r.exitCode, 0);
        const QStringList lines = QString::fromUtf8(contents("results.csv")).trimmed().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 4);
        for (int n = 1; n <= 3; ++n) {
            const QString serial = QStringLiteral("123456789") + QChar('a' + n - 1);
            QVERIFY2(QRegularExpression(QStringLiteral("^%1,\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d(Z|[+-]\\d\\d:\\d\\d),%2,Truss %1,OK$").arg(n).arg(serial))
                         .match(lines.at(n)).hasMatch(),
                     qPrintable(lines.at(n)));
            QVERIFY(QFileInfo(m_dir.filePath("Documents/veltra_log/trx_" + serial + ".txt")).isFile());
        }
    }

    void outputWhenAllIsWell_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("out");
        QTest::newRow("verify") << QStringList{"verify", VELTRA_TEST_SOURCE_DIR "/fuzz/corpus/package/two-blocks.vfp"}
                                << "Block 0: MCU id 2, version 0.0.0, 7 bytes, 1 frames\n"
                                   "Block 1: MCU id 7, version 0.0.0, 7 bytes, 1 frames\nPackage OK\n";
        QTest::newRow("verify, JSON") << QStringList{"verify", "--json", goodPackage}
                                      << "{\n    \"0\": {\n        \"bytes\": 316,\n        \"frames\": 4,\n"
                                         "        \"mcu\": 2,\n        \"version\": \"1.2.3\"\n    }\n}\n";
        QTest::newRow("report") << QStringList{"--simulate", "report", "report.txt"} << "Report written to {dir}/report.txt\n";
        // Without --store a radio keeps the settings until it is switched off;
        // a legacy radio keeps its frame as it takes it.
        QTest::newRow("set") << QStringList{"--simulate", "set", "label=Kept"}
                             << "Deployed; not stored (add --store to keep the settings over a power cycle).\n";
        QTest::newRow("set on a legacy radio") << QStringList{"--simulate=legacy", "set", "power24=1"} << "Stored.\n";
    }

    void outputWhenAllIsWell()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, out);
        const Result r = cli(arguments);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, out.replace(QLatin1String("{dir}"), m_dir.path()));
    }

    void updateRadio_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("stopAfterMs");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("complete") << "r9" << "radio" << -1 << 0 << "Update Complete!\nRadio firmware: 3.2.1046\n";
        // The add-on's image leaves the radio's own firmware as it was.
        QTest::newRow("add-on complete") << "r9" << "addon" << -1 << 0 << "Update Complete!\nRadio firmware: 3.2.1045\n";
        QTest::newRow("no radio at all") << "r9,radio=off" << "radio" << -1 << 3 << "No radio answered; trying its bootloader directly.";
        QTest::newRow("silent bootloader") << "r9,bootfault=silent" << "radio" << -1 << 3 << "no bootloader answered within 1 s";
        QTest::newRow("stopped") << "r9,bootfault=silent" << "radio" << 700 << 6 << "update cancelled";
        QTest::newRow("frames answered oddly") << "r9,bootfault=wrong" << "radio" << -1 << 6 << "upload status 4: Unknown response!";
        QTest::newRow("every frame fails its check") << "r9,bootfault=crc" << "radio" << -1 << 6 << "upload status 5: CRC Error!";
        // MCU 0 is an id like any other: the handshake names it, and the package has no block for it.
        QTest::newRow("mcu 0") << "r9,handshake=2,mcu=0" << "radio" << -1 << 6 << "upload status 2: File Error!";
        QTest::newRow("handshake sum always wrong") << "r9,handshake=2,bootfault=badsum" << "radio" << -1 << 3 << "no bootloader answered";
    }

    void updateRadio()
    {
        QFETCH(QString, profile);
        QFETCH(QString, target);
        QFETCH(int, stopAfterMs);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const Result r = cli({"--simulate=" + profile, "--timeout", stopAfterMs > 0 ? "30" : "1", "update", target, goodPackage}, stopAfterMs);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2((r.out + r.err).contains(message), qPrintable(r.out + r.err));
        // Each failure is named once, with its cause; none that was overcome.
        QCOMPARE(r.err.count(QStringLiteral("veltra-cli: ")), exitCode == 0 ? 0 : 1);
        if (exitCode == 0) {
            // Not a terminal: the progress comes as plain lines, from 0 to 100.
            QVERIFY(r.out.startsWith(QStringLiteral("progress: 0 %\n")));
            QVERIFY(r.out.contains(QStringLiteral("progress: 100 %\n")));
            QVERIFY(!r.out.contains(QLatin1Char('\r')));
        }
    }

    void failuresHaveTheirOwnExitCodes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("unknown command") << QStringList{"--simulate", "frobnicate"} << 1;
        QTest::newRow("unknown option after the command") << QStringList{"--simulate", "info", "--frobnicate"} << 1;
        QTest::newRow("time-out not a number") << QStringList{"--simulate", "--timeout", "nan", "info"} << 1;
        QTest::newRow("time-out past a day") << QStringList{"--simulate", "--timeout", "86401", "info"} << 1;
        // A row named for its message checks that message too.
        QTest::newRow("--driver needs d2xx or serial") << QStringList{"--port", "/nonexistent/tty", "info", "--driver"} << 1;
        QTest::newRow("--port needs the path of the dongle's port") << QStringList{"info", "--port"} << 1;
        QTest::newRow("--simulate with --port") << QStringList{"--simulate", "--port", "/dev/null", "info"} << 1;
        QTest::newRow("update needs radio, addon or dongle, not \"radios\"")
            << QStringList{"--simulate", "update", "radios", goodPackage} << 1;
        QTest::newRow("--dongle with --port") << QStringList{"--dongle", "X", "--port", "/dev/null", "info"} << 1;
        // Simulator settings whose value does not fit, each next to its edge.
        for (const QString &setting : QStringList{"bootloader=3.x", "model=" + QString(33, 'M'), "hardware=256", "usbserial=a b",
                                                  "unplug=0", "wire=bogus", "latency=0", "latency=256", "mcu=x",
                                                  "fault=late:1.5", "fault=bogus", "seed=x", "handshake=3", "mcu=256",
                                                  "bootfault=x", "trace=/nonexistent/trace.txt", "firmware=3",
                                                  "trxbootloader=x", "serial=12", "labelhex=00", "state=", "caps=00",
                                                  "settings=00", "mask24=00", "power=1:2", "modelhex=zz", "addon=256",
                                                  "silent=x", "miss=15", "uptime=-1", "trxhw=256", "hwtext=" + QString(12, 'h'),
                                                  "radios=r9:r99", "dongle=3.x", "dongle=256.0.0", "swap=-1"})
            QTest::addRow("simulator %s", qPrintable(setting.left(20))) << QStringList{"--simulate=r9," + setting, "info"} << 1;
        QTest::newRow("dongle in its bootloader") << QStringList{"--simulate=r9,dongle=boot", "info"} << 2;
        QTest::newRow("update, dongle in its bootloader")
            << QStringList{"--simulate=r9,dongle=boot", "update", "radio", goodPackage} << 2;
        QTest::newRow("package that is a folder") << QStringList{"verify", "/"} << 5;
        QTest::newRow("no radio") << QStringList{"--simulate=r9,radio=off", "--timeout", "0.3", "info"} << 3;
        QTest::newRow("radio silent, timed out") << QStringList{"--simulate=r9,silent=24", "--timeout", "1", "info"} << 9;
        QTest::newRow("dongle lost during the defaults")
            << QStringList{"--simulate=r9,wire=real,latency=1,unplug=1800", "defaults", "flex"} << 2;
        QTest::newRow("update from a missing package") << QStringList{"--simulate", "update", "radio", "/nonexistent.vfp"} << 5;
        QTest::newRow("dongle update without a port") << QStringList{"--simulate", "update", "dongle", "/nonexistent/veltra_dongle_3.hex"} << 8;
    }

    void failuresHaveTheirOwnExitCodes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        // "Part-way" means something only on a line paced in real time.
        if (arguments.first().contains(QLatin1String("wire=real")) && !qEnvironmentVariableIsSet("VELTRA_TEST_REAL_TIME"))
            QSKIP("real time: run as tst_cli_realtime");
        QElapsedTimer clock;
        clock.start();
        const Result r = cli(arguments);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY(r.err.startsWith(QStringLiteral("veltra-cli: ")) || r.err.contains(QStringLiteral("\nveltra-cli: ")));
        if (QByteArray(QTest::currentDataTag()).contains(" needs "))
            QVERIFY2(r.err.contains(QLatin1String(QTest::currentDataTag())), qPrintable(r.err));
        // A time limit ends the command, however many retries are left, and
        // says so when it was the limit (waiting for a radio) that ended it.
        if (arguments.contains(QStringLiteral("--timeout")) && exitCode != 1) {
            QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
            QCOMPARE(r.err.contains(QStringLiteral(" s ran out (--timeout)")), exitCode == 3);
        }
    }

    void filesWholeOrNotAtAll_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("earlier"); // empty: a FIFO stands there
        QTest::addColumn<QStringList>("messages");
        const QString sim = "--simulate=r9,state=" + m_dir.filePath("state.json");
        const QStringList leftAsItWas {"the earlier file is left as it was"};
        QTest::newRow("export, disk full") << QStringList{sim, "export", "setup.json"} << "setup.json"
                                           << QByteArray("{\"format\": 1}") << leftAsItWas;
        QTest::newRow("report, disk full") << QStringList{sim, "report", "report.txt"} << "report.txt"
                                           << QByteArray("an earlier report") << leftAsItWas;
        QTest::newRow("store with state=, disk full") << QStringList{sim, "set", "label=Lost?", "--store"} << "state.json"
                                                      << QByteArray("{}") << QStringList{"the radio did not confirm the store"};
        // A state file that is no radio's may be someone's: it stops stores rather than being written over.
        QTest::newRow("store onto a state that is not an object") << QStringList{sim, "set", "label=Lost?", "--store"} << "state.json"
                                                                << QByteArray("[]") << QStringList{"not an object"};
        QTest::newRow("batch results, disk full")
            << QStringList{"--simulate=radios=r9:r9", "batch", "setup.json", "--log=kept.csv", "--count", "2"}
            << "kept.csv" << QByteArray("number,time,serial,label,result\n1,earlier,,,OK\n") << QStringList{"cannot write kept.csv"};
        QTest::newRow("export onto a FIFO") << QStringList{sim, "export", "fifo"} << "fifo" << QByteArray()
                                            << QStringList{"fifo: not a regular file"};
        // A file where the log folder goes (which stops root too): the
        // settings are stored and the log's lines kept all the same.
        const QString folder = "Documents/veltra_log";
        QTest::newRow("report, log folder blocked") << QStringList{"--simulate", "set", "label=X", "--store"} << folder
                                                    << QByteArray("in the way")
                                                    << QStringList{"Stored.\nveltra-cli: not written: device report: cannot write"};
        QTest::newRow("log, log folder blocked") << QStringList{"--simulate", "--log", "info"} << folder << QByteArray("in the way")
                                                 << QStringList{"the log was not written", "Debug: Davoruz: Populating Hop Table"};
    }

    // A file not written whole leaves the earlier one as it was; exit 7 says so.
    void filesWholeOrNotAtAll()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, file);
        QFETCH(QByteArray, earlier);
        QFETCH(QStringList, messages);
        const QString path = m_dir.filePath(file);
        QDir(path).removeRecursively();
        QFile::remove(path);
        const auto restore = qScopeGuard([path] { QFile::remove(path); });
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QVERIFY(write("setup.json", "{\"format\": 1}"));
        QVERIFY(!earlier.isEmpty() ? write(file, earlier) : mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        const Result r = cli(arguments, -1, QByteArray(QTest::currentDataTag()).contains("object") ? Plain : DiskFull);
        QCOMPARE(r.exitCode, 7);
        for (const QString &message : messages)
            QVERIFY2((r.out + r.err).contains(message), qPrintable(r.out + r.err));
        QCOMPARE(QFileInfo(path).isFile(), !earlier.isEmpty());
        if (!earlier.isEmpty())
            QCOMPARE(contents(file), earlier);
    }

    void watchPrintsEvents()
    {
        // Options after the command count as options.
        const Result r = cli({"--simulate=r9,uptime=16871100", "watch", "--timeout", "1"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains(QStringLiteral("radio: attached, protocol level 2")));
        // The r9 is named as it names itself, never by its level alone.
        QVERIFY2(r.out.contains(QStringLiteral("status: Veltra R9")) && !r.out.contains(QStringLiteral("R8X")), qPrintable(r.out));
        // On for 195 days, 6:25:00 when cabled: all four bytes of its seconds count.
        QVERIFY2(QRegularExpression(QStringLiteral("uptime: 195 days, 06:2[56]:\\d\\d")).match(r.out).hasMatch(), qPrintable(r.out));
    }

    // watch over a dongle on a pseudo-terminal pulled out and put back, its
    // radio switched off and on: every coming and going is told.
    void watchFollowsReplugsAndRadios()
    {
        if (!qEnvironmentVariableIsSet("VELTRA_TEST_REAL_TIME"))
            QSKIP("real time: run as tst_cli_realtime");
        const QString link = m_dir.filePath("dongle");
        PtyServer server({"--link", link, "r9"});
        QProcess watch;
        atHome(watch);
        watch.start(QStringLiteral(VELTRA_CLI_EXE), {"--port", link, "watch", "--timeout", "40"});
        QString out;
        QVERIFY2(waitForOutput(watch, out, "radio: attached"), qPrintable(out));
        // The dongle comes back with its DMX off: the watch switches it on
        // once discovery is done, so the radio cabled next is seen.
        follow(server, watch, out, {{"radio off", "radio: detached", 1}, {"unplug", "dongle: Disconnected", 1},
                                    {"replug", "dongle: 3.2.7", 2}, {"radio on", "radio: attached", 2}});
        watch.terminate();
        watch.waitForFinished(5000);
    }

    // Updates on a real port: the radio's one-byte handshake payloads and
    // thousands of polls through the serial backend; the dongle's avrdude,
    // whose progress is told as it goes.
    void updateOverARealPort_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("stopAfterMs");
        QTest::addColumn<QString>("ending");
        QTest::newRow("radio") << "radio" << -1 << "Radio firmware: 3.2.1046\n";
        QTest::newRow("dongle") << "dongle" << -1 << "progress: 100 %\nUpdate Complete!\n";
        // Stopped, avrdude is stopped with it: the update does not go on to its end.
        QTest::newRow("dongle, stopped") << "dongle" << 1500 << "";
    }

    void updateOverARealPort()
    {
        QFETCH(QString, target);
        QFETCH(int, stopAfterMs);
        QFETCH(QString, ending);
        if (!qEnvironmentVariableIsSet("VELTRA_TEST_REAL_TIME"))
            QSKIP("real time: run as tst_cli_realtime");
        const QString link = m_dir.filePath("dongle");
        PtyServer server({"--link", link, "r9,handshake=2"});
        const QString hex = m_dir.filePath("veltra_dongle_3.hex");
        QVERIFY(writeIntelHex(hex, QByteArray(512, '\x5a')));
        const Result r = cli({"--port", link, "update", target, target == "radio" ? goodPackage : hex}, stopAfterMs);
        QCOMPARE(r.exitCode, stopAfterMs > 0 ? 8 : 0);
        QVERIFY2(r.out.endsWith(ending) && r.out.startsWith("progress: 0 %\n"), qPrintable(r.out + r.err));
    }

    // A batch whose dongle is pulled out and put back while it waits says
    // so once each way, and stores the radio cabled afterwards.
    void batchFollowsAReplug()
    {
        if (!qEnvironmentVariableIsSet("VELTRA_TEST_REAL_TIME"))
            QSKIP("real time: run as tst_cli_realtime");
        const QString link = m_dir.filePath("dongle");
        PtyServer server({"--link", link, "r9,radio=off"});
        QVERIFY(write("replug.json", "{\"format\": 1, \"label\": \"Replugged\"}"));
        QProcess batch;
        atHome(batch);
        batch.start(QStringLiteral(VELTRA_CLI_EXE), {"--port", link, "batch", m_dir.filePath("replug.json"), "--count", "1"});
        QString out;
        QVERIFY2(waitForOutput(batch, out, "Waiting for radio #1"), qPrintable(out));
        follow(server, batch, out, {{"unplug", "The dongle was lost; waiting for it.", 1},
                                    {"replug", "The dongle is back.", 1}, {"radio on", "1 radios, 1 OK.", 1}});
        QVERIFY(batch.waitForFinished(5000));
        QCOMPARE(batch.exitCode(), 0);
        QCOMPARE(out.count(QStringLiteral("The dongle")), 2);
    }

private:
    enum Wrap { Plain, DiskFull };

    // A positive `stopAfterMs` stops the command as a service manager would
    // (SIGTERM, taken as Ctrl-C). A full disk lets no file grow in the child,
    // for root as for anyone, unlike a read-only folder.
    Result cli(const QStringList &arguments, int stopAfterMs = -1, Wrap wrap = Plain)
    {
        QProcess process;
        atHome(process);
        QProcessEnvironment env = process.processEnvironment();
        env.insert(QStringLiteral("VELTRA_SIM_FAST"), QStringLiteral("1"));
        process.setProcessEnvironment(env);
        if (wrap == DiskFull)
            process.start("/bin/sh", QStringList{"-c", "trap '' XFSZ; ulimit -f 0; exec \"$0\" \"$@\"", VELTRA_CLI_EXE} + arguments);
        else
            process.start(QStringLiteral(VELTRA_CLI_EXE), arguments);
        if (stopAfterMs > 0 && !process.waitForFinished(stopAfterMs))
            process.terminate();
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
    }

    // The command's reports and settings go to the test's folder, never the user's.
    void atHome(QProcess &process) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_dir.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(".config"));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(m_dir.path());
    }

    static bool waitForOutput(QProcess &process, QString &out, const QString &text, int count = 1)
    {
        return QTest::qWaitFor([&] {
            out += QString::fromUtf8(process.readAllStandardOutput());
            return out.count(text) >= count;
        }, 15000);
    }

    // Each server command in turn, then the count of the line it must bring.
    struct Step { QByteArray command; QString line; int count; };
    static void follow(PtyServer &server, QProcess &process, QString &out, const QList<Step> &steps)
    {
        for (const Step &step : steps) {
            server.command(step.command);
            QVERIFY2(waitForOutput(process, out, step.line, step.count), qPrintable(out));
        }
    }

    QByteArray contents(const QString &name) const
    {
        QFile file(m_dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    bool write(const QString &name, const QByteArray &bytes) const { return WholeFile::write(m_dir.filePath(name), bytes, nullptr); }

    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
