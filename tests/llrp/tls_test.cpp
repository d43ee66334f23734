// LLRP over TLS: `tessaro --sim llrp --cert --key` with a certificate the test
// makes with the openssl command, a client that trusts only that certificate,
// and the files the server must refuse before it listens.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "run_tessaro.h"
#include "session_fixture.h"

namespace tessaro::llrp::testing {
namespace {

// A self-signed certificate for 127.0.0.1 with its key, a key of another
// certificate, the key under a passphrase, and a file that only looks like
// PEM, in a folder of their own.
struct TlsFiles {
    std::string folder, cert, key, otherKey, lockedKey, garbage;
    bool made = false;

    TlsFiles() {
        char name[] = "/tmp/tessaro-llrp-tls-XXXXXX";
        if (!mkdtemp(name)) return;
        folder = name;
        cert = folder + "/cert.pem";
        key = folder + "/key.pem";
        otherKey = folder + "/other-key.pem";
        lockedKey = folder + "/locked-key.pem";
        garbage = folder + "/garbage.pem";
        const std::string request = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
                                    "-days 2 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 ";
        made = std::system((request + "-keyout " + key + " -out " + cert + " 2>/dev/null").c_str()) == 0 &&
               std::system((request + "-keyout " + otherKey + " -out " + folder + "/other.pem 2>/dev/null").c_str()) == 0 &&
               std::system(("openssl pkey -aes256 -passout pass:secret -in " + key + " -out " + lockedKey).c_str()) == 0;
        std::ofstream(garbage) << "-----BEGIN CERTIFICATE-----\nthis is no certificate\n-----END CERTIFICATE-----\n";
    }
    ~TlsFiles() {
        if (!folder.empty()) std::filesystem::remove_all(folder);
    }
};

class LlrpTls : public LlrpFixture {
protected:
    void SetUp() override { ASSERT_TRUE(files_.made) << "the openssl command made no certificate"; }
    std::vector<std::string> tlsArguments() const { return {"--cert", files_.cert, "--key", files_.key}; }

    TlsFiles files_;
};

TEST_F(LlrpTls, InventoryOverTlsAndASecondClientRefused) {
    ASSERT_NO_FATAL_FAILURE(open(tlsArguments(), files_.cert));
    addAndEnable(rospec(1, 1, 0, aiSpec({0}), 1, 1));
    EXPECT_EQ(collectAll(8000), shelfEpcs());

    // A second client hears why over TLS too, and is closed.
    Client second;
    ASSERT_TRUE(second.connectTls(server_->port(), files_.cert));
    Message refusal;
    ASSERT_TRUE(second.receive(refusal, 3000));
    EXPECT_EQ(eventField(refusal, "ConnectionAttemptEvent", "Status"), 2u);
    EXPECT_TRUE(second.closedByServer(3000));
    Message report;
    EXPECT_TRUE(client_.waitFor("RO_ACCESS_REPORT", report, 3000)) << "the first client reads on";
}

TEST_F(LlrpTls, ClientWithoutTlsHearsNothingAndIsClosed) {
    server_ = std::make_unique<ServerProcess>(tlsArguments());
    ASSERT_TRUE(server_->running());
    Client plain;
    ASSERT_TRUE(plain.connect(server_->port()));
    Message request;
    request.id = 1;
    request.body = Element::make("GET_SUPPORTED_VERSION");
    plain.send(request);
    Message m;
    EXPECT_FALSE(plain.receive(m, 2000)) << "no LLRP in the clear";
    EXPECT_TRUE(plain.closedByServer(3000));
    // The reader is free again for a client that speaks TLS.
    ASSERT_TRUE(client_.connectTls(server_->port(), files_.cert));
    ASSERT_TRUE(client_.receive(m, 3000));
    EXPECT_EQ(eventField(m, "ConnectionAttemptEvent", "Status"), 0u);
}

TEST_F(LlrpTls, UnusableFilesStopTheServerBeforeItListens) {
    const std::string journal = " --journal " + files_.folder + "/journal";
    const struct {
        std::string files, message;
    } cases[] = {
        {"--cert " + files_.garbage + " --key " + files_.key, "holds no usable PEM certificate"},
        {"--cert " + files_.cert + " --key " + files_.otherKey, "does not match the certificate"},
        {"--cert " + files_.cert + " --key " + files_.garbage, "holds no usable PEM private key"},
        {"--cert " + files_.cert + " --key " + files_.lockedKey, "needs a passphrase"},
        {"--cert " + files_.cert + " --key " + files_.folder + "/none.pem", "cannot read the key"},
        {"--cert " + files_.cert, "--key"},
    };
    for (const auto &c : cases) {
        const tessaro::testing::Run run =
            tessaro::testing::runTessaro("--sim llrp --port 0 --bind 127.0.0.1 --seconds 5" + journal + " " + c.files);
        EXPECT_NE(run.exitCode, 0) << c.files;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.files << "\n" << run.err;
        EXPECT_EQ(run.out.find("listening"), std::string::npos) << c.files;
    }
}

}  // namespace
}  // namespace tessaro::llrp::testing
