// The program finds its own folder, and so its click, from a folder with any name: one whose
// name is not in the locale's encoding is used as the bytes it is.
#include "platform/program_folder.h"

#include <fstream>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

class TestProgramFolder : public QObject
{
    Q_OBJECT

private slots:
    // Run from the build, or as the copy below, told in hex which folder it was copied to.
    void isWhereTheProgramIs()
    {
        const QByteArray expected = qEnvironmentVariableIsSet("CADREL_EXPECTED_FOLDER_HEX")
                                        ? QByteArray::fromHex(qgetenv("CADREL_EXPECTED_FOLDER_HEX"))
                                        : QByteArray(CADREL_TEST_FOLDER);
        QCOMPARE(QByteArray::fromStdString(platform::programFolder()), expected);
    }

    // Qt would decode a name that is not in the locale's encoding, so the copy is made and run with
    // the file system's own calls.
    void keepsTheBytesOfAnyName()
    {
        QTemporaryDir dir;
        // "città" in Latin-1, as an old file system or archive may hand it over.
        const std::string folder = QFile::encodeName(dir.path()).toStdString() + "/citt\xe0";
        QVERIFY(::mkdir(folder.c_str(), 0700) == 0);
        const std::string copy = folder + "/tst_program_folder";
        {
            std::ifstream in(
                QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString(),
                std::ios::binary);
            std::ofstream out(copy, std::ios::binary);
            out << in.rdbuf();
            QVERIFY(in && out);
        }
        QVERIFY(::chmod(copy.c_str(), 0700) == 0);

        const std::string expected =
            "CADREL_EXPECTED_FOLDER_HEX=" + QByteArray::fromStdString(folder).toHex().toStdString();
        std::vector<char *> env;
        for (char **e = environ; *e != nullptr; ++e)
            env.push_back(*e);
        env.push_back(const_cast<char *>(expected.c_str()));
        env.push_back(nullptr);
        char function[] = "isWhereTheProgramIs";
        char silent[] = "-silent";
        char *argv[] = {const_cast<char *>(copy.c_str()), function, silent, nullptr};
        pid_t child = 0;
        QCOMPARE(::posix_spawn(&child, copy.c_str(), nullptr, nullptr, argv, env.data()), 0);
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }
};

QTEST_MAIN(TestProgramFolder)
#include "tst_program_folder.moc"
