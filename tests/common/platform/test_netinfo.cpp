// The machine's network adapters and the packet library's adapter listing.

#include "common/netinfo.h"

#include <QNetworkInterface>
#include <QRegularExpression>
#include <QTest>

using namespace lt;

namespace
{

QByteArray utf16z(const char16_t* text)
{
    QByteArray bytes;
    for (const char16_t* c = text; *c; ++c) {
        bytes.append(char(*c & 0xFF));
        bytes.append(char(*c >> 8));
    }
    return bytes.append(2, '\0');
}

} // namespace

class NetInfo : public QObject
{
    Q_OBJECT

private slots:
    void listingHasNamesThenEmptyNameThenGbkDescriptions()
    {
        const QList<net::Adapter> list = {
            {QStringLiteral("\\Device\\NPF_{A1}"), QStringLiteral("eth0 - 10.0.0.5"),
             QStringLiteral("eth0")},
            {QStringLiteral("\\Device\\NPF_{B2}"), QStringLiteral("无线网卡"),
             QStringLiteral("wlan0")},
        };
        QByteArray expected = utf16z(u"\\Device\\NPF_{A1}") + utf16z(u"\\Device\\NPF_{B2}");
        expected.append(2, '\0');
        expected.append("eth0 - 10.0.0.5");
        expected.append('\0');
        expected.append("\xCE\xDE\xCF\xDF\xCD\xF8\xBF\xA8", 8);
        expected.append('\0');
        QCOMPARE(net::adapterListing(list).toHex(' '), expected.toHex(' '));
    }

    void listingOfNoAdaptersIsTheEmptyName()
    {
        QCOMPARE(net::adapterListing({}), QByteArray(2, '\0'));
    }

    void adaptersAreTheNonLoopbackInterfacesWithStableNames()
    {
        const QList<net::Adapter> list = net::adapters();
        const QRegularExpression name(
            QStringLiteral("^\\\\Device\\\\NPF_\\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\}$"));
        QSet<QString> names;
        for (const net::Adapter& adapter : list) {
            const QNetworkInterface iface = QNetworkInterface::interfaceFromName(adapter.interface);
            QVERIFY(iface.isValid());
            QVERIFY(!iface.flags().testFlag(QNetworkInterface::IsLoopBack));
            QVERIFY2(name.match(adapter.name).hasMatch(), qPrintable(adapter.name));
            QVERIFY(adapter.description.contains(adapter.interface));
            names.insert(adapter.name);
        }
        QCOMPARE(names.size(), list.size());

        int expected = 0;
        for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces())
            expected += iface.flags().testFlag(QNetworkInterface::IsLoopBack) ? 0 : 1;
        QCOMPARE(list.size(), expected);

        const QList<net::Adapter> again = net::adapters();
        QCOMPARE(again.size(), list.size());
        for (qsizetype i = 0; i < list.size(); ++i) {
            QCOMPARE(again[i].name, list[i].name);
            QCOMPARE(again[i].interface, list[i].interface);
        }
    }

    void packetFunctionFillsTheCallersBuffer()
    {
        const QByteArray listing = net::adapterListing(net::adapters());
        QByteArray buffer(8197, '\0');
        quint32 size = 8196;
        QVERIFY(net::PacketGetAdapterNames(buffer.data(), &size));
        QCOMPARE(buffer.left(listing.size()), listing);
        QVERIFY(buffer.mid(listing.size()).count('\0') == buffer.size() - listing.size());

        QByteArray small(1, 'x');
        quint32 tooSmall = 1;
        QVERIFY(!net::PacketGetAdapterNames(small.data(), &tooSmall));
        QCOMPARE(tooSmall, quint32(listing.size()));
        QCOMPARE(small, QByteArray(1, 'x'));
    }
};

QTEST_GUILESS_MAIN(NetInfo)
#include "test_netinfo.moc"
