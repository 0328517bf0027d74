// Error messages reach MATLAB whole, however long, and with every character
// intact.
#include "gateway_fixture.h"

#include <string>

namespace kxtest {
namespace {

class ErrorMessageTest : public GatewayTest {};

std::string Repeat(const std::string& piece, std::size_t times) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

// Messages were cut at 8191 bytes by a fixed buffer at the entry point, even in the middle of a UTF-8 character.
TEST_F(ErrorMessageTest, LongCommandsAndSdkTexts_AreRepeatedWhole) {
    const std::string ascii(9000, 'x');
    EXPECT_MEX_ERROR(Call(ascii), "kestrix:mex:unsupportedCommand", "Unsupported MEX command: " + ascii + ".");

    // Two-, three- and four-byte characters lying across the old limit.
    for (const std::string piece : {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"}) {
        const std::string wide = Repeat(piece, 12000 / piece.size());
        EXPECT_MEX_ERROR(Call(wide), "kestrix:mex:unsupportedCommand", "Unsupported MEX command: " + wide + ".");
    }

    const std::string sdk_text = Repeat("adapter \xE2\x82\xAC gone; ", 3000);
    kxsim::ScriptThrow("kx_core_init", sdk_text);
    EXPECT_MEX_ERROR(Call("init"), "kestrix:sdk:nativeException", "kx_core_init threw native exception: " + sdk_text);

    // A short message after a long one carries nothing of the long one.
    EXPECT_MEX_ERROR(Call("x"), "kestrix:mex:unsupportedCommand", "Unsupported MEX command: x.");
}

TEST_F(ErrorMessageTest, VeryLongCommand_IsRepeatedWholeAndTheSessionGoesOn) {
    const std::string huge(4u << 20, 'q');
    EXPECT_MEX_ERROR(Call(huge), "kestrix:mex:unsupportedCommand", "Unsupported MEX command: " + huge + ".");
    EXPECT_TRUE(Call("status").ok);
}

}  // namespace
}  // namespace kxtest
