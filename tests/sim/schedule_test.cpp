// Tags that come and go on the simulation's clock (population keys arrive=
// and leave=), as labels pass a station's antenna.
#include "sim_fixture.h"

namespace tessaro::simtest {
namespace {

class Schedule : public SimTest {};

TEST_F(Schedule, ATagAnswersOnlyBetweenItsArrivalAndItsDeparture) {
    addTag("gen2 epc=3000 arrive=2000 leave=4000");
    addTag("gen2 epc=3001");
    EXPECT_EQ(inventory().epcs(), std::vector<std::string>({"3001"}));
    TessaroSimAdvanceMs(sim, 2000 - TessaroSimNowMs(sim));
    EXPECT_EQ(inventory().epcs(), std::vector<std::string>({"3000", "3001"}));
    TessaroSimAdvanceMs(sim, 4000 - TessaroSimNowMs(sim));
    EXPECT_EQ(inventory().epcs(), std::vector<std::string>({"3001"}));
    // Placed by hand, it stays whatever the file said.
    ASSERT_EQ(TessaroSimPlaceTag(sim, reader, 0, 1, -50), 0);
    EXPECT_EQ(inventory().epcs(), std::vector<std::string>({"3000", "3001"}));
}

TEST_F(Schedule, ADepartureBeforeTheArrivalIsRefused) {
    char error[200] = "";
    EXPECT_EQ(TessaroSimAddTag(sim, reader, "gen2 epc=3000 arrive=500 leave=500", error, sizeof error),
              TESSARO_SIM_ERROR);
    EXPECT_NE(std::string(error).find("leave"), std::string::npos) << error;
}

}  // namespace
}  // namespace tessaro::simtest
