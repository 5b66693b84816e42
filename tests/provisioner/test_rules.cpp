// The provisioner's rules without a server: the address boxes, the adapter buffer walk, the
// export gesture and access code, the command line's arguments.

#include "common/gbk.h"
#include "common/netinfo.h"
#include "provisioner/adapters.h"
#include "provisioner/address.h"
#include "provisioner/blackexport.h"
#include "provisioner/commandline.h"

#include <QTest>

using namespace lt;
using namespace lt::prov;

namespace
{

QByteArray utf16z(const QString& text)
{
    QByteArray bytes;
    for (const QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes.append(2, '\0');
}

// The packet library's layout: the names, an empty name, the descriptions; zero-padded to the
// size of the buffer the dialog passes.
QByteArray buffer(const QStringList& names, const QList<QByteArray>& descriptions)
{
    QByteArray bytes;
    for (const QString& name : names)
        bytes += utf16z(name);
    bytes += utf16z({});
    for (const QByteArray& d : descriptions)
        bytes += d + '\0';
    return bytes.leftJustified(kAdapterBufferBytes, '\0');
}

const QString kName1 = QStringLiteral("\\Device\\NPF_{6B1C0F2A-1111-4C3B-9D5E-0A1B2C3D4E5F}");
const QString kName2 = QStringLiteral("\\DEVICE\\NPF_{7C2D1A3B-2222-4C3B-9D5E-0A1B2C3D4E5F}");

} // namespace

class Rules : public QObject
{
    Q_OBJECT

private slots:
    void addressBox_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        for (const char* same : {"255", "0", "", " 12 ", "007"})
            QTest::newRow(same) << same << same;
        for (const char* emptied : {"256", "a", "-1", "1.5", "1e2", "12a", " ", "99999999999"})
            QTest::newRow(emptied) << emptied << "";
    }
    void addressBox()
    {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        QCOMPARE(addressPartAfterChange(typed), kept);
    }

    void addressSplitAndJoined()
    {
        QCOMPARE(splitAddress("192.168.0.5"), (AddressParts{"192", "168", "0", "5"}));
        QCOMPARE(splitAddress("10.0.0"), (AddressParts{"10", "0", "0", ""}));
        QCOMPARE(splitAddress("a.b.c.d.e"), (AddressParts{"a", "b", "c", "d.e"}));
        QCOMPARE(splitAddress("server"), (AddressParts{"server", "", "", ""}));

        QCOMPARE(joinAddress({"0", "0", "0", "0"}).address, QStringLiteral("0.0.0.0"));
        QCOMPARE(joinAddress({" 010", "1", "1 ", "00"}).address, QStringLiteral("10.1.1.0"));
        QCOMPARE(joinAddress({"192", "168", "", "5"}).emptyPart, 2);
        QCOMPARE(joinAddress({"", "", "", ""}).emptyPart, 0);
        QCOMPARE(partsOfTypedAddress("192.168.0.300"), (AddressParts{"192", "168", "0", ""}));
        QCOMPARE(partsOfTypedAddress(" 0.0.0.0 "), (AddressParts{"0", "0", "0", "0"}));
    }

    void adapterBuffer_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("entries");
        const QByteArray wireless = gbk::encode(u"无线网卡 - 10.0.0.7");
        QTest::newRow("two adapters, names in any case")
            << buffer({kName1, kName2}, {"eth0 - 192.168.1.2", wireless})
            << QStringList{"eth0 - 192.168.1.2", "无线网卡 - 10.0.0.7"};
        QTest::newRow("no names") << buffer({}, {"eth0", "eth1"}) << QStringList{"eth0", "eth1"};
        QTest::newRow("no descriptions") << buffer({kName1, kName2}, {}) << QStringList{};
        QTest::newRow("a one-byte description is left out")
            << buffer({kName1, kName2}, {"A", "eth1 - 10.0.0.2"}) << QStringList{"eth1 - 10.0.0.2"};
        QTest::newRow("a name without its brace")
            << buffer({QStringLiteral("\\Device\\NPF_broken")}, {"eth0 - 10.0.0.1"})
            << QStringList{"eth0 - 10.0.0.1"};
        QTest::newRow("nothing returned") << QByteArray(kAdapterBufferBytes, '\0') << QStringList{};
        const QByteArray full =
            (utf16z(kName1) + utf16z({})).leftJustified(kAdapterBufferSize, 'x') + '\0';
        QTest::newRow("a description running to the end of the buffer")
            << full << QStringList{QString(kAdapterBufferSize - 2 * (kName1.size() + 2), 'x')};
    }
    void adapterBuffer()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, entries);
        QCOMPARE(adapterDescriptions(bytes), entries);
    }

    void adapterBufferOfThisMachine()
    {
        QStringList expected;
        for (const net::Adapter& a : net::adapters()) {
            if (gbk::encode(a.description).size() != 1)
                expected << a.description;
        }
        QCOMPARE(adapterDescriptions(readAdapterBuffer()), expected);
    }

    void exportGestureAndCode()
    {
        const auto ctrlAlt = Qt::ControlModifier | Qt::AltModifier;
        QVERIFY(isExportGesture(Qt::RightButton, ctrlAlt));
        QVERIFY(isExportGesture(Qt::RightButton, ctrlAlt | Qt::KeypadModifier));
        QVERIFY(!isExportGesture(Qt::RightButton, ctrlAlt | Qt::ShiftModifier));
        QVERIFY(!isExportGesture(Qt::LeftButton, ctrlAlt));
        QVERIFY(!isExportGesture(Qt::RightButton, Qt::ControlModifier));
        QVERIFY(accessCodeAccepted("Kvtwpa1987"));
        QVERIFY(!accessCodeAccepted("kvtwpa1987"));
        QVERIFY(!accessCodeAccepted("Kvtwpa1987 "));
    }

    void commandLineArguments()
    {
        CommandLine cl = parseCommandLine({"--register", "0.0.0.0", "--init", "both", "--yes"});
        QVERIFY(cl.error.isEmpty());
        QVERIFY(cl.doRegister && cl.initLog && cl.initConfig && cl.yes && !cl.test);
        QCOMPARE(cl.address, QStringLiteral("0.0.0.0"));
        cl = parseCommandLine({"--init", "config"});
        QVERIFY(!cl.initLog && cl.initConfig && !cl.yes);
        cl = parseCommandLine({"--adapter", "3", "--list-adapters", "--test"});
        QVERIFY(cl.chooseAdapter && cl.listAdapters && cl.test);
        QCOMPARE(cl.adapter, QStringLiteral("3"));
        for (const QStringList& bad : QList<QStringList>{{"--init"},
                                                         {"--init", "all"},
                                                         {"--register"},
                                                         {"--register", "--test"},
                                                         {"--adapter"},
                                                         {"--frobnicate"}})
            QVERIFY2(!parseCommandLine(bad).error.isEmpty(), qPrintable(bad.join(u' ')));
    }
};

QTEST_GUILESS_MAIN(Rules)
#include "test_rules.moc"
