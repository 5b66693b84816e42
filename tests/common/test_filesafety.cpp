// What the programs' files survive: a full disk or a file size limit while a file is replaced
// (the old file stays, the writer says it failed, the process lives on), the permissions of a
// replaced file, temporary files that a killed writer left, lines of any length, and bytes that
// are not GBK text in a file read back (the readers say so instead of passing on U+FFFD).

#include "common/blacklist.h"
#include "common/gbk.h"
#include "common/installation.h"
#include "common/seqfile.h"
#include "common/sharedfiles.h"
#include "tests/common/filesizelimit.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace lt;

using Writer = std::function<bool(const QString& path)>;
Q_DECLARE_METATYPE(Writer)

class FileSafety : public QObject
{
    Q_OBJECT
    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }
    QStringList leftovers() const
    {
        return QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

private slots:
    void init()
    {
        for (const QString& name : leftovers())
            QFile::remove(path(name));
    }

    void fullDiskKeepsTheOldFile_data()
    {
        QTest::addColumn<Writer>("writer");
        QTest::newRow("credential file") << Writer([](const QString& p) {
            return writeCredentialFile(p, QStringLiteral("新管理员"), QStringLiteral("s3cret"));
        });
        QTest::newRow("LocalPort.txt, port dialog") << Writer(
            [](const QString& p) { return writeLocalPortLine(p, QStringLiteral("12345")); });
        QTest::newRow("LocalPort.txt, adapter dialog") << Writer(
            [](const QString& p) { return writeLocalPortDigits(p, QStringLiteral("12345")); });
        QTest::newRow("BlackName.dat") << Writer([](const QString& p) {
            return blacklist::write(p, {{"a.example", "甲", "色情"}});
        });
        QTest::newRow("a replacing writer, many lines") << Writer([](const QString& p) {
            SeqWriter writer;
            if (!writer.open(p, SeqWriter::Mode::Replace))
                return false;
            for (int i = 0; i < 1000; ++i)
                writer.printLine(u"一行文字");
            return writer.close();
        });
    }

    void fullDiskKeepsTheOldFile()
    {
        QFETCH(Writer, writer);
        const QString file = path("target");
        test::writeFile(file, "OLD\r\n");
        {
            // Room for a few bytes only: the new content cannot be written in full.
            test::FileSizeLimit limit(3);
            QVERIFY(limit.active());
            QVERIFY(!writer(file));
        }
        QCOMPARE(test::readFile(file), QByteArray("OLD\r\n"));
        QCOMPARE(leftovers(), QStringList{"target"}); // no temporary file left behind
        // With room again the same writer replaces the file.
        QVERIFY(writer(file));
        QVERIFY(test::readFile(file) != QByteArray("OLD\r\n"));
        QCOMPARE(leftovers(), QStringList{"target"});
    }

    // The same on a disk that is really full (ENOSPC): a small tmpfs, which only root may mount.
    void fullTmpfsKeepsTheOldFile()
    {
        if (::geteuid() != 0)
            QSKIP("mounting a tmpfs needs root");
        QTemporaryDir mountPoint;
        const QByteArray where = QFile::encodeName(mountPoint.path());
        if (::mount("tmpfs", where.constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP(qPrintable(QStringLiteral("cannot mount a tmpfs here: ") + qt_error_string()));
        const auto unmount = qScopeGuard([&] { ::umount2(where.constData(), MNT_DETACH); });
        const QString port = mountPoint.filePath("LocalPort.txt");
        const QString cred = mountPoint.filePath("KVRTMQLP.DLL");
        test::writeFile(port, "2\r\n");
        test::writeFile(cred, "ADM\r\n739\r\n");
        QFile filler(mountPoint.filePath("filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size()) {
        }
        filler.close();
        QVERIFY(!writeLocalPortLine(port, QStringLiteral("12345")));
        QVERIFY(!writeLocalPortDigits(port, QStringLiteral("3")));
        QVERIFY(!writeCredentialFile(cred, QStringLiteral("新管理员"), QStringLiteral("s3cret")));
        QCOMPARE(test::readFile(port), QByteArray("2\r\n"));
        QCOMPARE(test::readFile(cred), QByteArray("ADM\r\n739\r\n"));
        QCOMPARE(QDir(mountPoint.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
    }

    void replacingFileReportsTheError()
    {
        const QString file = path("target");
        test::writeFile(file, "OLD");
        test::FileSizeLimit limit(2);
        ReplacingFile replacing(file);
        QVERIFY(replacing.open());
        QVERIFY(!replacing.write("12345"));
        QCOMPARE(replacing.error(), EFBIG);
        QVERIFY(!replacing.commit());
        QCOMPARE(test::readFile(file), QByteArray("OLD"));
        // Into a directory that does not exist nothing can be opened.
        ReplacingFile nowhere(path("no/such/dir/file"));
        QVERIFY(!nowhere.open());
        QCOMPARE(nowhere.error(), ENOENT);
        QVERIFY(!nowhere.commit());
    }

    void aFileSizeLimitDoesNotEndTheProgram()
    {
        // Every program sets its process up through initialiseProcess(): past the limit a write
        // then fails with EFBIG, as on a full disk, instead of SIGXFSZ ending the program.
        const auto restore = qScopeGuard([] { std::signal(SIGXFSZ, SIG_DFL); });
        std::signal(SIGXFSZ, SIG_DFL);
        const QByteArray root = qgetenv("LANTROVE_ROOT");
        Installation::initialiseProcess();
        qputenv("LANTROVE_ROOT", root);
        struct sigaction now {
        };
        QCOMPARE(::sigaction(SIGXFSZ, nullptr, &now), 0);
        QVERIFY(now.sa_handler == SIG_IGN);
    }

    void staleTemporaryFilesAreRemoved()
    {
        const QString target = path("export.bak");
        const QStringList stale = {".export.bak.0123abcd.new", ".export.bak.deadbeef.new"};
        const QStringList others = {
            ".export.bak.0123abc.new",      // not eight digits
            ".export.bak.0123ABCD.new",     // not as we name them
            ".other.bak.0123abcd.new",      // of another target
            "export.bak.0123abcd.new",      // not hidden
            ".export.bak.0123abcd.new.old", // another ending
        };
        for (const QString& name : stale + others)
            test::writeFile(path(name), QByteArray(4096, 'x'));
        // One of our pattern that another writer holds right now, and a folder of our pattern.
        const QString busy = ".export.bak.89abcdef.new";
        test::writeFile(path(busy), "being written");
        const int held = ::open(QFile::encodeName(path(busy)).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(held >= 0);
        const auto release = qScopeGuard([held] { ::close(held); });
        QCOMPARE(::flock(held, LOCK_EX | LOCK_NB), 0);
        QVERIFY(QDir().mkdir(path(".export.bak.00000000.new")));

        QVERIFY(replaceFile(target, "new content"));
        QCOMPARE(test::readFile(target), QByteArray("new content"));
        QStringList expected = others;
        expected << busy << "export.bak";
        expected.sort();
        QStringList left = leftovers();
        left.sort();
        QCOMPARE(left, expected);
        QVERIFY(QFileInfo(path(".export.bak.00000000.new")).isDir());
        QVERIFY(QDir().rmdir(path(".export.bak.00000000.new")));

        // A writer holds its own temporary file while it writes: another writer of the same
        // target leaves it alone, and both end with a whole file.
        ReplacingFile first(target);
        QVERIFY(first.open());
        QVERIFY(first.write("first"));
        QVERIFY(replaceFile(target, "second"));
        QVERIFY(first.commit());
        QCOMPARE(test::readFile(target), QByteArray("first"));
    }

    void longLinesAreNotReadWhole()
    {
        // A line longer than a caller can use is passed over only up to that length: the rest
        // of a file without a line end (a device that never ends) is not read.
        SeqReader reader(QByteArray(3 << 20, 'x') + "\r\nnext\r\n");
        QCOMPARE(reader.skipLine(4096), qint64(4097));
        QCOMPARE(reader.offset(), qint64(4097));
        SeqReader fits(QByteArray("short\r\nnext"));
        QCOMPARE(fits.skipLine(4096), qint64(5));
        QCOMPARE(fits.readLine().value(), u"next"_qs);
        SeqReader device;
        QVERIFY(device.open("/dev/zero"));
        QCOMPARE(device.skipLine(100), qint64(101));
    }

    void replacedFilesKeepTheirPermissions()
    {
        const QString port = path("LocalPort.txt");
        test::writeFile(port, "1");
        const auto groupRead = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
        QVERIFY(QFile::setPermissions(port, groupRead));
        QVERIFY(writeLocalPortLine(port, QStringLiteral("2")));
        QCOMPARE(QFile::permissions(port) & 0x7077, groupRead & 0x7077);

        // The credential file is its owner's alone, even where an older copy was not.
        const QString cred = path("KVRTMQLP.DLL");
        test::writeFile(cred, "ADM\r\n739\r\n");
        QVERIFY(QFile::setPermissions(cred, groupRead | QFile::ReadOther));
        QVERIFY(writeCredentialFile(cred, QStringLiteral("ADM"), QStringLiteral("740")));
        QCOMPARE(QFile::permissions(cred) & 0x7077, QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(test::readFile(cred), QByteArray("ADM\r\n740\r\n"));

        // A new file gets the usual permissions (not those of a private temporary file).
        const QString fresh = path("new.txt");
        QVERIFY(writeLocalPortDigits(fresh, QStringLiteral("3")));
        const mode_t mask = ::umask(0);
        ::umask(mask);
        struct stat st {
        };
        QCOMPARE(::stat(QFile::encodeName(fresh).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0666 & ~mask);
    }

    void replacingThroughALinkKeepsTheLink()
    {
        const QString real = path("real.txt");
        const QString link = path("LocalPort.txt");
        test::writeFile(real, "1");
        QVERIFY(QFile::link(real, link));
        QVERIFY(writeLocalPortLine(link, QStringLiteral("7")));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(test::readFile(real), QByteArray("7\r\n"));
    }

    void strictDecoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("invalidAt");
        QTest::addColumn<QString>("text");
        QTest::newRow("ASCII") << QByteArray("abc") << -1 << "abc";
        QTest::newRow("GBK CJK") << gbk::encode(u"付款") << -1 << "付款";
        QTest::newRow("euro sign") << QByteArray("\x80") << -1 << "€";
        QTest::newRow("trail byte out of range") << QByteArray("ab\x81\x30z") << 2 << "ab\uFFFD0z";
        QTest::newRow("0x7F is no trail byte") << QByteArray("\xa1\x7f") << 0 << "\uFFFD\x7f";
        QTest::newRow("lead byte at the end") << QByteArray("ab\xb8") << 2 << "ab";
        QTest::newRow("0xFF") << QByteArray("a\xff") << 1 << "a\uF8F5";
        QTest::newRow("after good CJK") << gbk::encode(u"中文") + QByteArray("\x81") << 4 << "中文";
    }

    void strictDecoding()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, invalidAt);
        QFETCH(QString, text);
        const gbk::Decoded decoded = gbk::decodeStrict(bytes);
        QCOMPARE(int(decoded.invalidAt), invalidAt);
        QCOMPARE(decoded.valid(), invalidAt < 0);
        QCOMPARE(decoded.text, text);
    }

    void unencodableCharacters()
    {
        QCOMPARE(gbk::unencodableAt(u"管理员ADM€"), qsizetype(-1));
        QCOMPARE(gbk::unencodableAt(u"Ä€ö"), qsizetype(0));
        QCOMPARE(gbk::unencodableAt(u"a€ö"), qsizetype(2));
        QCOMPARE(gbk::unencodableAt(u"ab\U00020000"), qsizetype(2)); // outside the BMP
        QCOMPARE(gbk::unencodableAt(u"x\uFFFD"), qsizetype(1));
        QCOMPARE(gbk::unencodableAt(u""), qsizetype(-1));
    }

    void damagedFilesAreNoticed()
    {
        const QString cred = path("KVRTMQLP.DLL");
        test::writeFile(cred, "ADM\r\n7\x81\x30"
                              "9\r\n");
        QVERIFY(!readCredentialFile(cred).has_value()); // damaged: nobody logs in with it
        test::writeFile(cred, "A\xb8\r\n739\r\n");
        QVERIFY(!readCredentialFile(cred).has_value());
        test::writeFile(cred, gbk::encode(u"管理员\r\n口令\r\n") + "\x81\x30"); // after the fields
        QVERIFY(readCredentialFile(cred).has_value());

        const QString port = path("LocalPort.txt");
        test::writeFile(port, "2\x81\r\n");
        const auto field = readLocalPortField(port);
        QVERIFY(field && field->damaged);
        QVERIFY(!readLocalPort(port).has_value()); // never passed on to the modules
        test::writeFile(port, "2\r\n\x81\x30");
        QVERIFY(!readLocalPortField(port)->damaged);
        QCOMPARE(readLocalPort(port).value(), QStringLiteral("2"));

        SeqReader reader(QByteArray("ok,b\xff\xff"
                                    "ad,fine"));
        QCOMPARE(reader.readField().value(), QStringLiteral("ok"));
        QVERIFY(!reader.lastInvalid());
        reader.readField();
        QVERIFY(reader.lastInvalid());
        QCOMPARE(reader.readField().value(), QStringLiteral("fine"));
        QVERIFY(!reader.lastInvalid());
        QVERIFY(reader.sawInvalid());
    }

    void credentialFieldProblems_data()
    {
        using Kind = CredentialFieldProblem::Kind;
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("character");
        QTest::newRow("plain") << "ADM" << int(Kind::None) << "";
        QTest::newRow("CJK and blanks inside") << "管理 员" << int(Kind::None) << "";
        QTest::newRow("quote inside") << "ab\"c" << int(Kind::None) << "";
        QTest::newRow("euro sign") << "pw€" << int(Kind::None) << "";
        QTest::newRow("comma") << "A,B" << int(Kind::Comma) << ",";
        QTest::newRow("leading quote") << "\"abc" << int(Kind::LeadingQuote) << "\"";
        QTest::newRow("line break") << "a\nb" << int(Kind::LineBreak) << "\n";
        QTest::newRow("outside GBK") << "Ä€ö" << int(Kind::NotGbk) << "Ä";
        QTest::newRow("outside the BMP") << "pw\U0001F600" << int(Kind::NotGbk) << "\U0001F600";
    }

    void credentialFieldProblems()
    {
        QFETCH(QString, text);
        QFETCH(int, kind);
        QFETCH(QString, character);
        const CredentialFieldProblem problem = credentialFieldProblem(text);
        QCOMPARE(int(problem.kind), kind);
        QCOMPARE(problem.character, character);
    }

    void fileNamesWithoutRegardToCase()
    {
        test::writeFile(path("blackname.DAT"), " 0 \r\n");
        QCOMPARE(fileNameOrGiven(path("BlackName.dat")), path("blackname.DAT"));
        QCOMPARE(fileNameOrGiven(path("Missing.dat")), path("Missing.dat"));
    }
};

QTEST_GUILESS_MAIN(FileSafety)
#include "test_filesafety.moc"
