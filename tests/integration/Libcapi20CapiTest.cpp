#include "capi/Libcapi20Capi.h"

#include "capi/CapiLine.h"
#include "capi/CapiUnavailable.h"
#include "tests/support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

TEST(Libcapi20Capi, LibraryThatCannotBeLoadedRaises)
{
    Libcapi20Capi capi("libcapi20-does-not-exist.so.9");
    std::uint32_t id = 0;
    EXPECT_THROW(capi.CAPI_REGISTER(3072, 2, 7, 2048, id), CapiUnavailable);
    CapiMessage m;
    EXPECT_THROW(capi.CAPI_GET_MESSAGE(1, m), CapiUnavailable);
}

// With no controller and no remote peer configured, registration fails and the pump
// finds nothing, tick after tick, without waiting.
TEST(Libcapi20Capi, NoLineConfiguredRegistrationFailsAndTicksDoNothing)
{
    const TempDir home;
    setenv("HOME", home.path().c_str(), 1);

    Libcapi20Capi capi;
    CapiState state;
    CapiLine line(capi, state, CapiWorker::Mode::Manual);
    line.start();
    for (int i = 0; i < 3; ++i)
        line.Get_Capi_Message();
    EXPECT_EQ(state.ApplID, 0u);
    EXPECT_FALSE(line.isLineUp());
    line.stop();
}

} // namespace
