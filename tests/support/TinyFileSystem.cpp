#include "TinyFileSystem.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace telv::test {
namespace {

constexpr const char* kFolderVariable = "TELV_TINY_FS";
// The child's exit code when the file system could not be mounted.
constexpr int kNoMount = 77;

// Mounts the tmpfs at $1 with the options $2, then runs the rest of the arguments.
constexpr const char* kMountScript =
    "mount -t tmpfs -o \"$2\" tmpfs \"$1\" || exit 77; shift 2; exec \"$@\"";

QStringList UnshareArguments(const QString& folder, const QString& options) {
    return {"--user", "--map-root-user", "--mount", "--propagation", "private", "sh", "-c", kMountScript, "sh",
            folder, options};
}

}  // namespace

std::optional<std::string> TinyFileSystemFolder() {
    const char* folder = std::getenv(kFolderVariable);
    if (!folder || !*folder) return std::nullopt;
    return std::string(folder);
}

TinyFileSystemRun RunInTinyFileSystem(std::size_t sizeBytes, bool readOnly) {
    TinyFileSystemRun run;
    const QString unshare = QStandardPaths::findExecutable("unshare");
    if (unshare.isEmpty()) {
        run.Output = "no unshare program here";
        return run;
    }
    QTemporaryDir mountPoint;
    if (!mountPoint.isValid()) {
        run.Output = "no temporary folder";
        return run;
    }
    const QString options = QString("size=%1,mode=0777%2").arg(sizeBytes).arg(readOnly ? ",ro" : "");
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const QString program = QString::fromStdString(std::filesystem::read_symlink("/proc/self/exe").string());

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(kFolderVariable, mountPoint.path());
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(unshare, UnshareArguments(mountPoint.path(), options)
                             << program
                             << QString("--gtest_filter=%1.%2").arg(test->test_suite_name(), test->name()));
    if (!child.waitForStarted() || !child.waitForFinished(120000)) {
        child.kill();
        child.waitForFinished();
        run.Output = "the child did not run or did not finish: " + child.errorString().toStdString();
        return run;
    }
    run.Output = child.readAll().toStdString();
    if (child.exitStatus() != QProcess::NormalExit) {
        run.Available = true;
        return run;
    }
    // unshare itself fails with 1 when namespaces are not allowed; the script with kNoMount.
    const bool ranTest = run.Output.find("[==========]") != std::string::npos;
    if (!ranTest && (child.exitCode() == kNoMount || child.exitCode() == 1)) {
        run.Output = "no private mount namespace here: " + run.Output;
        return run;
    }
    run.Available = true;
    run.Passed = ranTest && child.exitCode() == 0 && run.Output.find("[  PASSED  ] 1 test") != std::string::npos;
    return run;
}

}  // namespace telv::test
