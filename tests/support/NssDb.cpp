#include "support/NssDb.h"

#include <gtest/gtest.h>

#include "support/Process.h"
#include "support/TestPKI.h"

namespace TestSupport {

std::string MakeNssDb(const TempDir& dir) {
    const std::string db = "sql:" + dir.File("nss");
    EXPECT_EQ(RunProgram({"mkdir", "-p", dir.File("nss")}), 0);
    EXPECT_EQ(RunProgram({"certutil", "-N", "-d", db, "--empty-password"}), 0);
    const TestPKI& pki = TestPKI::Shared();
    EXPECT_EQ(RunProgram({"certutil", "-A", "-d", db, "-n", "root", "-t", "CT,C,C", "-i",
                          pki.Get(TestPKI::Root).certPem}),
              0);
    EXPECT_EQ(RunProgram({"certutil", "-A", "-d", db, "-n", "intermediate", "-t", ",,", "-i",
                          pki.Get(TestPKI::Intermediate).certPem}),
              0);
    return db;
}

std::string MakeSigningNssDb(const TempDir& dir, const std::string& p12) {
    const std::string db = MakeNssDb(dir);
    std::string output;
    EXPECT_EQ(RunProgram({"pk12util", "-i", p12, "-d", db, "-W", "", "-K", ""}, &output), 0) << output;
    return db;
}

}  // namespace TestSupport
