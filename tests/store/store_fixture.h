#pragma once

#include "store/connection.h"
#include "store/settings.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <string>

namespace mwdx::test {

// A temporary folder for the database. The connection and the Settings are program-wide, so every
// test leaves both closed and freed for the next one.
class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(IsStoreOpen());
        ASSERT_FALSE(HasSettings());
    }
    void TearDown() override {
        CloseStore();
        FreeSettings();
    }

    // Opens the program's connection on a fresh database (both tables, the first settings row).
    void OpenFresh() {
        MakeFreshDatabase(m_db);
        OpenStore(m_db);
        ASSERT_TRUE(IsStoreOpen());
    }

    TempDir m_dir;
    std::string m_db = m_dir.File("mymwdx.db");
};

} // namespace mwdx::test
