// Setup files as plain data (read, written, compared), and setups judged
// against what a simulated radio offers.
#include "config/radiosetup.h"
#include "config/wholefile.h"
#include "session.h"

#include <QtTest>

namespace {

// "key=value" items as a setup's settings.
RadioSetup setupOf(const QStringList &items)
{
    RadioSetup setup;
    for (const QString &item : items)
        setup.set(item.section(QLatin1Char('='), 0, 0), item.section(QLatin1Char('='), 1));
    return setup;
}

} // namespace

class TestRadioSetup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Session::quicken(); }

    void readFile_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("message"); // empty: the file is read
        QTest::newRow("broken JSON") << QByteArray("{\n  \"format\": 1,\n  \"mode\": \n}") << "at line 4";
        QTest::newRow("not an object") << QByteArray("[1]") << "no JSON object";
        QTest::newRow("no format") << QByteArray(R"({"mode": "R9 2.4GHz"})") << "\"format\" is missing";
        QTest::newRow("newer format with keys of its own") << QByteArray(R"({"format": 2, "beam": 3})")
                                                           << "format 2 is newer than this program reads";
        QTest::newRow("fractional format") << QByteArray(R"({"format": 1.5})") << "whole number";
        QTest::newRow("unknown key") << QByteArray(R"({"format": 1, "modes": "x"})") << "unknown key \"modes\"";
        QTest::newRow("unknown source key") << QByteArray(R"({"format": 1, "source": {"owner": "x"}})")
                                            << "unknown key \"source.owner\"";
        QTest::newRow("switch as a text") << QByteArray(R"({"format": 1, "rdm": "ON"})") << "\"rdm\" must be true or false";
        QTest::newRow("power as a number") << QByteArray(R"({"format": 1, "power24": 2})") << "\"power24\" must be a text";
        QTest::newRow("mask past the band") << QByteArray(R"({"format": 1, "mask24": "80-85"})")
                                            << "\"mask24\": \"80-85\" is not a channel list";
        QTest::newRow("export time") << QByteArray(R"({"format": 1, "source": {"exported": "yesterday"}})")
                                     << "not a date and time";
        QTest::newRow("mask left empty") << QByteArray(R"({"format": 1, "mask24": ""})")
                                         << "\"mask24\": \"\" is not a channel list";
        QTest::newRow("key given twice") << QByteArray("{\"format\": 1, \"label\": \"A\",\n \"l\\u0061bel\": \"B\"}")
                                         << "\"label\" is given twice, the second time at line 2, column 2";
        QTest::newRow("source key given twice")
            << QByteArray(R"({"format": 1, "source": {"model": "A", "serial": "1", "model": "B"}, "label": "x"})")
            << "\"source.model\" is given twice";
        QTest::newRow("key given twice around an object")
            << QByteArray(R"({"format": 1, "label": "A", "source": {"model": "M"}, "label": "B"})")
            << "\"label\" is given twice";
        QTest::newRow("too large") << QByteArray(64 * 1024, ' ') + "{}" << "too large for a setup";
        const QByteArray largest = R"({"format": 1, "label": "read"})";
        QTest::newRow("largest taken") << largest + QByteArray(int(RadioSetup::maxFileBytes) - largest.size(), ' ') << QString();
    }

    // One rule for every label that comes in: printable Latin-1, at most 32
    // (the command line's label patterns meet that length on both sides).
    void labelRule_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("problem");
        QTest::newRow("printable Latin-1") << QString::fromUtf8("Bühne 2 ½ ÿ") << QString();
        QTest::newRow("terminal escape") << "a\x1b[2Jb" << "control characters";
        QTest::newRow("C1 control") << QString("a") + QChar(0x85) + "b" << "control characters";
        QTest::newRow("euro sign") << QString::fromUtf8("Escena €") << "only Latin-1";
    }

    void labelRule()
    {
        QFETCH(QString, label);
        QFETCH(QString, problem);
        const QString found = RadioSetup::labelProblem(label);
        QVERIFY2(problem.isEmpty() ? found.isEmpty() : found.contains(problem), qPrintable(found));
    }

    // Each refusal names its reason and leaves the setup as it was; a file
    // of the largest size taken is read.
    void readFile()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("setup.json"));
        QVERIFY(WholeFile::write(path, json, nullptr));
        RadioSetup setup = setupOf({"label=kept"});
        QString error;
        QCOMPARE(setup.readFile(path, &error), message.isEmpty());
        QVERIFY2(error.contains(message), qPrintable(error));
        QCOMPARE(setup.settings, (QList<QPair<QString, QString>> {{"label", message.isEmpty() ? "read" : "kept"}}));
    }

    void differences_data()
    {
        QTest::addColumn<QStringList>("wanted");
        QTest::addColumn<QStringList>("held");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("names as the lists match them") << QStringList {"mode=r9 2.4ghz "} << QStringList {"mode=R9 2.4GHz"}
                                                       << QStringList {};
        QTest::newRow("masks as channel sets") << QStringList {"mask24=3,1,2"} << QStringList {"mask24=1-3"} << QStringList {};
        QTest::newRow("label exactly") << QStringList {"label=Truss 1"} << QStringList {"label=truss 1"}
                                       << QStringList {"label: \"Truss 1\" wanted, radio has \"truss 1\""};
        QTest::newRow("switch") << QStringList {"rdm=ON"} << QStringList {"rdm=Off"}
                                << QStringList {"rdm: \"ON\" wanted, radio has \"Off\""};
        QTest::newRow("band the radio lacks") << QStringList {"power52=5 Bars"} << QStringList {}
                                              << QStringList {"power52: not offered by this radio"};
    }

    void differences()
    {
        QFETCH(QStringList, wanted);
        QFETCH(QStringList, held);
        QTEST(setupOf(wanted).differences(setupOf(held)), "lines");
    }

    void judgedByTheRadio_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<int>("options");
        QTest::addColumn<QStringList>("refused");
        QTest::addColumn<int>("skipped");
        QTest::addColumn<QList<int>>("queued");
        const int none = Configurator::NoSetupOption;
        const int skip = Configurator::SkipMissing;
        const int indices = Configurator::IndicesAllowed;
        QTest::newRow("r9 takes all") << "r9"
                                      << QStringList {"label=X", "mode=R9 5.8GHz", "direction=Receiver", "adaptive=Off",
                                                      "rdm=Off", "band58=Off", "power58=5 Bars", "mask58=1-4",
                                                      "mask24=1", "power52=2 Bars"}
                                      << none << QStringList {} << 0 << QList<int> {5, 4, 8, 2, 0};
        QTest::newRow("a band it lacks refuses all") << "r8x" << QStringList {"mask24=1-3", "power52=5 Bars", "mask52=1-4"}
                                                     << none << QStringList {"power52", "mask52"} << 0 << QList<int> {};
        QTest::newRow("skipping passes no wrong value") << "r8x" << QStringList {"power24=5 Bars", "mask52=1"} << skip
                                                        << QStringList {"power24"} << 1 << QList<int> {};
        QTest::newRow("no channel list, no label it can keep") << "r9" << QStringList {"mask24=0-3", QString::fromUtf8("label=A\u20acB")}
                                                               << none << QStringList {"label", "mask24"} << 0 << QList<int> {};
        QTest::newRow("no RDM on the radio") << "p1" << QStringList {"rdm=ON"} << none << QStringList {"rdm"} << 0 << QList<int> {};
        QTest::newRow("positions only where allowed") << "r9" << QStringList {"power24=0"} << none << QStringList {"power24"} << 0
                                                      << QList<int> {};
        QTest::newRow("positions allowed") << "r9" << QStringList {"power24=0"} << indices << QStringList {} << 0 << QList<int> {0};
        // An R9 offers four 2.4 GHz powers: position 4 is the first past the list.
        QTest::newRow("position past the list") << "r9" << QStringList {"power24=4"} << indices << QStringList {"power24"} << 0
                                                << QList<int> {};
    }

    // Nothing is queued unless every value is taken; what is queued shows
    // in the session's own setup.
    void judgedByTheRadio()
    {
        QFETCH(QString, profile);
        QFETCH(QStringList, setup);
        QFETCH(int, options);
        QFETCH(QStringList, refused);
        Session session(profile);
        QVERIFY(session.connectAndRead());
        Configurator &c = session.configurator;
        RadioSetup wanted = setupOf(setup);
        QStringList passed, keys;
        for (const auto &refusal : c.applySetup(wanted, Configurator::SetupOptions(options), &passed))
            keys << refusal.key;
        QCOMPARE(keys, refused);
        QTEST(int(passed.size()), "skipped");
        QTEST(c.deployList, "queued");
        if (refused.isEmpty() && !(options & Configurator::IndicesAllowed))
            QCOMPARE(wanted.differences(c.currentSetup()), QStringList());
    }

    // The window's export and apply, with the file dialog's URLs: a file not
    // written says why; a file refused names only what refused it.
    void windowExportAndApply()
    {
        Session session("r8x");
        QVERIFY(session.connectAndRead());
        Configurator &c = session.configurator;
        QTemporaryDir dir;
        const QString file = QUrl::fromLocalFile(dir.filePath("a setup.json")).toString(QUrl::FullyEncoded);
        QCOMPARE(c.exportSetup(file), QString());
        QVERIFY(c.exportSetup(dir.filePath("none/setup.json")).contains("none/setup.json"));
        QCOMPARE(c.applySetupFile(file), (QVariantMap {{"taken", true}, {"lines", QStringList {}}}));
        RadioSetup other = setupOf({"power52=5 Bars", "mode=Nope"});
        QVERIFY(other.writeFile(dir.filePath("other.json"), nullptr));
        const QVariantMap refused = c.applySetupFile(dir.filePath("other.json"));
        QCOMPARE(refused.value("taken").toBool(), false);
        QCOMPARE(refused.value("lines").toStringList().size(), 1);
        QVERIFY(refused.value("lines").toStringList().value(0).startsWith("mode: "));
    }
};

QTEST_GUILESS_MAIN(TestRadioSetup)
#include "tst_radiosetup.moc"
