#pragma once
// The S3 gateway for the tests: the one scripts/start_s3_gateway.sh starts
// (read from its environment file, /run/quorvin-s3/env or $QUORVIN_S3_ENV),
// a bucket of each test's own, and a gateway of a test's own beside it for
// tests that stop one.
//
//   class TMyTest : public TS3GatewayTest {};   // SetUp creates Bucket, TearDown empties and removes it
//   TS3Client client = Client();
//
// Without a gateway the tests are skipped, saying how to start one, unless
// QUORVIN_REQUIRE_S3 is set (scripts/test.sh sets it): then they fail.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/child_process.h"
#include "platform/local_ports.h"
#include "platform/temp_folder.h"
#include "storage/s3/s3_client.h"
#include "storage/s3/s3_error.h"

namespace s3test {

inline std::string EnvFile() {
  const char* path = std::getenv("QUORVIN_S3_ENV");
  return path != nullptr ? path : "/run/quorvin-s3/env";
}

// NAME=value lines of the environment file; empty when there is none.
inline std::map<std::string, std::string> ReadGatewayEnvironment() {
  std::map<std::string, std::string> values;
  std::ifstream in(EnvFile());
  for (std::string line; std::getline(in, line);) {
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return values;
}

inline int PortOf(const std::string& endpoint) { return std::atoi(endpoint.substr(endpoint.rfind(':') + 1).c_str()); }

// Bytes that differ from part to part, the same for the same seed.
inline std::string TestBytes(std::size_t size, std::uint32_t seed) {
  std::string bytes(size, '\0');
  std::mt19937 random(seed);
  for (std::size_t i = 0; i < size; i += 4) {
    const std::uint32_t word = random();
    for (std::size_t j = 0; j < 4 && i + j < size; ++j) bytes[i + j] = static_cast<char>(word >> (8 * j));
  }
  return bytes;
}

// A name no other test (of this run or of another) uses.
inline std::string UniqueBucketName(const std::string& hint) {
  static std::atomic<int> counter{0};
  std::string name = "qv-";
  for (char c : hint) {
    if (name.size() >= 40) break;
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) name += c;
    if (c >= 'A' && c <= 'Z') name += static_cast<char>(c - 'A' + 'a');
  }
  std::random_device random;
  return name + "-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-" +
         std::to_string(random() % 100000);
}

class TS3GatewayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FEnvironment = ReadGatewayEnvironment();
    const bool running = FEnvironment.count("AWS_ENDPOINT_URL") > 0 &&
                         fbtest::LocalPortAnswers(PortOf(FEnvironment["AWS_ENDPOINT_URL"]));
    if (!running) {
      const std::string why = "no S3 gateway answers (environment file " + EnvFile() +
                              "); start one with: bash scripts/start_s3_gateway.sh";
      if (std::getenv("QUORVIN_REQUIRE_S3") != nullptr) FAIL() << why;
      GTEST_SKIP() << why;
    }
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    Bucket = UniqueBucketName(std::string(info->test_suite_name()) + info->name());
    Client().CreateBucket(CreateWithObjectLock());
    FCreated = true;
  }

  void TearDown() override {
    if (!FCreated) return;
    // Best effort: a bucket with objects locked in compliance mode stays
    // (the store goes with the gateway).
    try {
      TS3Client client = Client();
      for (const TS3MultipartUpload& upload : client.ListMultipartUploads("")) {
        client.AbortMultipartUpload(upload.Key, upload.UploadId);
      }
      for (const TS3ObjectVersion& version : client.ListObjectVersions("")) {
        try {
          client.DeleteObject(version.Object.Key, version.Object.VersionId, true);
        } catch (const ES3Error&) {  // locked in compliance mode
        }
      }
      client.DeleteBucket();
    } catch (const std::exception& e) {
    }
  }

  virtual bool CreateWithObjectLock() const { return false; }

  std::string Setting(const std::string& name) { return FEnvironment[name]; }

  TS3Place Place(const std::string& endpoint = {}) {
    TS3Place place;
    place.Endpoint = endpoint.empty() ? Setting("AWS_ENDPOINT_URL") : endpoint;
    place.Region = Setting("AWS_REGION");
    place.Bucket = Bucket;
    return ResolvePlace(place);
  }

  TS3Credentials Keys() { return {Setting("AWS_ACCESS_KEY_ID"), Setting("AWS_SECRET_ACCESS_KEY"), ""}; }

  // Few, quick retries: a test waits for no long pauses.
  static TS3Options QuickOptions() {
    TS3Options options;
    options.Retry = {3, 50, 200};
    options.Limits.ConnectSeconds = 5;
    options.Limits.StallSeconds = 20;
    return options;
  }

  TS3Client Client(TS3Options options = QuickOptions()) { return TS3Client(Place(), Keys(), std::move(options)); }

  std::string Bucket;

 private:
  std::map<std::string, std::string> FEnvironment;
  bool FCreated = false;
};

// A RADOS gateway of the test's own on a free port, serving the same
// cluster as the shared one: a test can stop it without disturbing others.
class TPrivateGateway {
 public:
  explicit TPrivateGateway(std::string cephConf) : FCephConf(std::move(cephConf)), FPort(fbtest::FreeLocalPort()) {
    Start();
  }
  ~TPrivateGateway() { Stop(); }
  TPrivateGateway(const TPrivateGateway&) = delete;
  TPrivateGateway& operator=(const TPrivateGateway&) = delete;

  std::string Endpoint() const { return "http://127.0.0.1:" + std::to_string(FPort); }

  void Start() {
    static std::atomic<int> counter{0};
    const std::string name = "client.rgw.test-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    FProcess = std::make_unique<TChildProcess>(
        FindProgram("radosgw"),
        std::vector<std::string>{"-f", "-c", FCephConf, "-n", name, "--rgw-frontends",
                                 "beast endpoint=127.0.0.1:" + std::to_string(FPort), "--pid-file", FFolder / "rgw.pid",
                                 "--log-file", FFolder / "rgw.log", "--admin-socket", FFolder / "rgw.asok"},
        "");
    for (int i = 0; i < 600 && !fbtest::LocalPortAnswers(FPort); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!fbtest::LocalPortAnswers(FPort))
      throw std::runtime_error("the private gateway did not open its port; see " + FFolder / "rgw.log");
  }

  // Stops the gateway as a service stop does (SIGTERM): its connections
  // break, and it leaves the cluster so that no request waits for it (a
  // killed gateway holds up every bucket's creation and removal for 30 s).
  void Stop() {
    if (!FProcess) return;
    FProcess->Terminate();
    FProcess->Wait();
    FProcess.reset();
  }

 private:
  TTempFolder FFolder;
  std::string FCephConf;
  int FPort;
  std::unique_ptr<TChildProcess> FProcess;
};

}  // namespace s3test
