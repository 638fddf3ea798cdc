// marrowdex-index [DATABASE]: writes the index page of a knowledge database, as the program's
// Sync Index file button does, without starting the program. DATABASE defaults to mymwdx.db
// beside this tool.

#include "catalog/loader.h"
#include "catalog/model.h"
#include "index/page_texts.h"
#include "index/page_writer.h"
#include "platform/home_fs.h"
#include "platform/language.h"
#include "platform/program_dir.h"
#include "store/connection.h"
#include "store/settings.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

int Fail(const std::string& message) {
    std::fprintf(stderr, "marrowdex-index: %s\n", message.c_str());
    return kFailed;
}

std::string StoreError() {
    const std::string text = mwdx::StoreErrorMessage();
    return !text.empty() ? text : "no connection";
}

// Closes the connection on every way out.
struct StoreSession {
    explicit StoreSession(const std::string& path) { mwdx::OpenStore(path); }
    ~StoreSession() {
        mwdx::FreeSettings();
        mwdx::CloseStore();
    }
};

int WriteIndex(const std::string& databasePath) {
    // Opening a missing file would create an empty database; this tool never makes one.
    struct stat file {};
    if (::stat(databasePath.c_str(), &file) != 0) {
        return Fail(databasePath + ": " + std::strerror(errno));
    }
    if (!S_ISREG(file.st_mode)) {
        return Fail(databasePath + ": not a database file");
    }

    const StoreSession session(databasePath);
    if (!mwdx::IsStoreOpen()) {
        return Fail(databasePath + ": cannot open the database");
    }
    if (mwdx::LoadSettings() != 1) {
        return Fail(databasePath + ": not a Marrowdex database (" + StoreError() + ")");
    }
    const std::string homeDirectory(mwdx::RootDirOf(mwdx::SettingsCopy()));
    if (homeDirectory.empty()) {
        return Fail(databasePath + ": no Home Directory is set; choose one with the program's Option button");
    }
    // A relative value would put the page under this tool's working folder, "/" at the root.
    if (!mwdx::IsUsableHomeDirectory(homeDirectory)) {
        std::fprintf(stderr,
                     "marrowdex-index: the Home Directory \"%s\" of %s is not a full folder path other than /; "
                     "choose it again with the program's Option button\n",
                     homeDirectory.c_str(), databasePath.c_str());
        return kUsage;
    }
    struct stat home {};
    if (::stat(homeDirectory.c_str(), &home) != 0 || !S_ISDIR(home.st_mode)) {
        return Fail("the Home Directory " + homeDirectory + " does not exist or is not a directory");
    }

    int count = 0;
    if (mwdx::CountNodes(&count) != 1) {
        return Fail(databasePath + ": not a Marrowdex database (" + StoreError() + ")");
    }
    mwdx::CatalogModel model;
    if (mwdx::LoadAllNodes(model, count) != 1) {
        // The program shows what could be placed; so does the page, but not without a word.
        std::fprintf(stderr,
                     "marrowdex-index: warning: not every catalog entry could be read; the page shows %lld of %d\n",
                     static_cast<long long>(model.NodeCount()), count);
    }

    const mwdx::LanguageStrings texts(mwdx::UseEnglishFor(mwdx::SystemDefaultLangId()));
    const mwdx::PageWriteResult result = mwdx::WriteIndexPage(model, texts, mwdx::PageBackup::kPrevious);
    switch (result.status) {
    case mwdx::PageWriteStatus::kWritten:
        break;
    case mwdx::PageWriteStatus::kBackupFailed:
        return Fail("the previous page could not be kept as a backup, so nothing was written: " + result.detail);
    case mwdx::PageWriteStatus::kNameTaken:
        return Fail("the page would replace a catalog's or document's own file, so nothing was written: " +
                    result.detail);
    case mwdx::PageWriteStatus::kNoHomeDirectory:
    case mwdx::PageWriteStatus::kNotWritten:
        return Fail("the index page could not be written: " + result.detail);
    }

    const std::string script = homeDirectory + "/js/dtree.js";
    struct stat scriptFile {};
    if (::stat(script.c_str(), &scriptFile) != 0) {
        std::fprintf(stderr,
                     "marrowdex-index: warning: %s is missing; the page shows its tree only once the js folder "
                     "from beside the program is in the Home Directory\n",
                     script.c_str());
    }
    std::printf("%s\n", result.pagePath.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 2 || (argc == 2 && (argv[1][0] == '\0' || std::string_view(argv[1]) == "--help"))) {
        std::fprintf(stderr, "usage: marrowdex-index [DATABASE]\n"
                             "Writes mwdx_index.html into the Home Directory of DATABASE (default: mymwdx.db beside\n"
                             "this tool), keeping the previous page as mwdx_index.html_bak, and prints its path.\n");
        return kUsage;
    }
    std::string databasePath;
    if (argc == 2) {
        databasePath = argv[1];
    } else {
        const std::string directory = mwdx::ProgramDirectory();
        if (directory.empty()) {
            return Fail("cannot find the folder of this program; give the database's path");
        }
        databasePath = directory + "/mymwdx.db";
    }
    return WriteIndex(databasePath);
}
