// The message client against the test message server, through libcurl. Each
// test checks the exact requests the server received.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "location/Exceptions.h"
#include "reception/CurlHttpGetter.h"
#include "reception/MessageClient.h"
#include "reception/MessageEncoding.h"
#include "tests/reception/TestMessageServer.h"

namespace {

using Log = std::vector<std::string>;

std::string Chal() { return "/ql?c=CHAL"; }
std::string Open(int challenge, const std::string& password = "password",
                 const std::string& encodedUser = "user") {
  std::string challenged = "C";
  challenged += std::to_string(challenge);
  challenged += password;
  return "/ql?c=OPEN+" + encodedUser + "+" + Md5Hex(challenged);
}
std::string Session(const std::string& encodedCommand, int key) {
  return "/ql?c=" + encodedCommand + "&k=K" + std::to_string(key);
}

// What a call threw: "runtime_error: <text>" or "12030 <text>" for a transfer
// failure; "(no error)" when it returned.
std::string Outcome(const std::function<void()>& call) {
  try {
    call();
  } catch (const CWin32Exception& error) {
    return std::to_string(error.GetCode()) + " " + error.what();
  } catch (const std::runtime_error& error) {
    return std::string("runtime_error: ") + error.what();
  }
  return "(no error)";
}

CCurlTimeouts Quick() {
  CCurlTimeouts timeouts;
  timeouts.connect = std::chrono::milliseconds(5000);
  timeouts.lowSpeedTime = std::chrono::seconds(1);
  return timeouts;
}

class MessageClientTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server = new CTestMessageServer(); }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  void SetUp() override { server->Reset(); }

  static std::unique_ptr<CMessageClient> Client(const std::string& url = server->Url()) {
    return std::make_unique<CMessageClient>(url, std::make_unique<CCurlHttpGetter>(Quick()));
  }

  // Login, count, retrieve, delete: the receiving road, up to its first failure.
  static std::string Receive(std::vector<std::string>* received = nullptr) {
    auto client = Client();
    return Outcome([&] {
      client->Login("user", "password");
      const int32_t count = client->Stat();
      auto messages = client->Retrieve(1, count);
      if (received) *received = messages;
      client->Delete(1, count);
    });
  }

  static CTestMessageServer* server;
};

CTestMessageServer* MessageClientTest::server = nullptr;

TEST_F(MessageClientTest, HappyPathSendsTheProtocolSequence) {
  server->AddMessage("16T1136073600+324005Dwgs846Udegree8B35.658189L139.745422N_JpNHXQ_");
  server->AddMessage("second");
  std::vector<std::string> received;
  EXPECT_EQ(Receive(&received), "(no error)");
  EXPECT_EQ(received, (std::vector<std::string>{
                          "16T1136073600+324005Dwgs846Udegree8B35.658189L139.745422N_JpNHXQ_",
                          "second"}));
  EXPECT_EQ(server->Log(), (Log{Chal(), Open(1), Session("STAT", 1), Session("RETR+1+2", 1),
                                Session("DELE+1+2", 1), Session("QUIT", 1)}));
  EXPECT_TRUE(server->Messages().empty());
  for (const auto& entry : server->LogEntries()) {
    EXPECT_EQ(entry.userAgent, "QuorLumoFolvane");
    EXPECT_EQ(entry.pragma, "no-cache");
    EXPECT_EQ(entry.cacheControl, "no-cache");
  }
}

TEST_F(MessageClientTest, MessagesComeBackByteForByte) {
  const std::vector<std::string> messages = {std::string("a\0b", 3), "", "_JpNHXQ_\r", "\xe3\x81\x82 x"};
  for (const auto& message : messages) server->AddMessage(message);
  auto client = std::make_unique<CMessageClient>(server->Url());  // the default getter
  client->Login("user", "password");
  ASSERT_EQ(client->Stat(), 4);
  EXPECT_EQ(client->Retrieve(1, 4), messages);
  EXPECT_EQ(client->Retrieve(2, 2), (std::vector<std::string>{messages[1], messages[2]}));
}

TEST_F(MessageClientTest, NothingWaitingAndNoQuitWithoutLogin) {
  {
    auto client = Client();
    client->Login("user", "password");
    EXPECT_EQ(client->Stat(), 0);
  }
  EXPECT_EQ(server->Log(), (Log{Chal(), Open(1), Session("STAT", 1), Session("QUIT", 1)}));
  server->ClearLog();
  Client().reset();
  EXPECT_TRUE(server->Log().empty());
}

TEST_F(MessageClientTest, UserNameAndPasswordBytes) {
  server->SetUser("us er\xe3+", "");
  auto client = Client();
  client->Login("us er\xe3+", "");  // an empty password still gives a digest
  EXPECT_EQ(server->Log(), (Log{Chal(), Open(1, "", "us+er%E3%2B")}));
}

TEST_F(MessageClientTest, ExpiredKeyIsRenewedOnceInsideTheCall) {
  server->AddMessage("m");
  {
    auto client = Client();
    client->Login("user", "password");
    server->ExpireKeys();
    EXPECT_EQ(client->Stat(), 1);  // "-ERR 401 C2", then OPEN on C2 without CHAL
    EXPECT_EQ(client->Retrieve(1, 1), std::vector<std::string>{"m"});
  }
  EXPECT_EQ(server->Log(), (Log{Chal(), Open(1), Session("STAT", 1), Open(2), Session("STAT", 2),
                                Session("RETR+1+1", 2), Session("QUIT", 2)}));
}

TEST_F(MessageClientTest, SecondExpiryInOneCallFails) {
  {
    auto client = Client();
    client->Login("user", "password");
    server->Fault("STAT", "expire", "", 2);
    EXPECT_EQ(Outcome([&] { client->Stat(); }), "runtime_error: Invalid Response: -ERR 401 C3\n");
  }
  // QUIT goes through the same renewal: its key K2 expired as well.
  EXPECT_EQ(server->Log(), (Log{Chal(), Open(1), Session("STAT", 1), Open(2), Session("STAT", 2),
                                Session("QUIT", 2), Open(4), Session("QUIT", 3)}));
}

TEST_F(MessageClientTest, A401WithoutChallengeIsNoRenewal) {
  server->Fault("STAT", "body", "-ERR 401\n");
  EXPECT_EQ(Receive(), "runtime_error: Invalid Response: -ERR 401\n");
  EXPECT_EQ(server->Log(), (Log{Chal(), Open(1), Session("STAT", 1), Session("QUIT", 1)}));
}

TEST_F(MessageClientTest, LoginIsRetriedOnceOnAWrongAnswer) {
  server->Fault("CHAL", "status", "500");
  EXPECT_EQ(Receive(), "(no error)");
  EXPECT_EQ(server->Log(), (Log{Chal(), Chal(), Open(1), Session("STAT", 1), Session("RETR+1+0", 1),
                                Session("DELE+1+0", 1), Session("QUIT", 1)}));

  server->Reset();
  server->Fault("OPEN", "body", "-ERR 500 busy\n");
  auto client = Client();
  client->Login("user", "password");
  EXPECT_EQ(server->Log(), (Log{Chal(), Open(1), Chal(), Open(2)}));
}

TEST_F(MessageClientTest, LoginFailsAfterTheSecondAttempt) {
  server->SetUser("user", "other");
  EXPECT_EQ(Receive(), "runtime_error: Invalid Response: -ERR 403 denied\n");
  EXPECT_EQ(server->Log(), (Log{Chal(), Open(1), Chal(), Open(2)}));  // no key, so no QUIT

  server->Reset();
  server->Fault("CHAL", "status", "503", 2);
  EXPECT_EQ(Receive(), "runtime_error: HTTP Status Error: 503");
  EXPECT_EQ(server->Log(), (Log{Chal(), Chal()}));

  server->Reset();
  server->Fault("CHAL", "body", "+OK\n", 2);
  EXPECT_EQ(Receive(), "runtime_error: Invalid Response: +OK\n");

  server->Reset();
  server->Fault("OPEN", "body", "+OK \n", 2);
  EXPECT_EQ(Receive(), "runtime_error: Invalid Response: +OK \n");
}

TEST_F(MessageClientTest, TransferFailuresAreNotRetried) {
  server->Fault("CHAL", "drop");
  EXPECT_EQ(Receive(), "12030 ERROR_INTERNET_CONNECTION_ABORTED");
  EXPECT_EQ(server->Log(), Log{Chal()});

  server->Reset();
  server->Fault("OPEN", "reset");
  EXPECT_EQ(Receive(), "12031 ERROR_INTERNET_CONNECTION_RESET");
  EXPECT_EQ(server->Log(), (Log{Chal(), Open(1)}));
}

TEST_F(MessageClientTest, EveryFailureAfterLoginEndsWithQuit) {
  struct Case {
    const char* command;
    const char* action;
    std::string arg;
    std::string outcome;
    std::size_t requests;  // protocol requests before QUIT
  };
  // Two waiting messages "A" and "B": the RETR answer is "+OK 2\nA\nB\n.\n".
  const std::vector<Case> cases = {
      {"STAT", "status", "500", "runtime_error: HTTP Status Error: 500", 3},
      {"STAT", "status", "404", "runtime_error: HTTP Status Error: 404", 3},
      {"STAT", "body", "", "runtime_error: Invalid Response: ", 3},
      {"STAT", "body", "+ 2\n", "runtime_error: Invalid Response: + 2\n", 3},
      {"STAT", "body", "+OKX 2\n", "runtime_error: Invalid Response: +OKX 2\n", 3},
      {"STAT", "body", "+OK\r\n", "runtime_error: Invalid Response: +OK\r\n", 3},
      {"STAT", "body", "+OK\n", "runtime_error: Invalid Response: +OK\n", 3},
      {"STAT", "body", "+OK -2\n", "runtime_error: Invalid Response: +OK -2\n", 3},
      {"STAT", "body", "-ERR 500 x\n", "runtime_error: Invalid Response: -ERR 500 x\n", 3},
      {"STAT", "drop", "", "12030 ERROR_INTERNET_CONNECTION_ABORTED", 3},
      {"RETR", "truncate", "10", "runtime_error: Invalid Response: +OK 2\nA\nB\n", 4},
      {"RETR", "truncate", "8", "runtime_error: Invalid Response: +OK 2\nA\n", 4},
      {"RETR", "body", "+OK 2\nA\n.\n", "runtime_error: Invalid Response: +OK 2\nA\n.\n", 4},
      {"RETR", "cut", "9", "12030 ERROR_INTERNET_CONNECTION_ABORTED", 4},
      {"RETR", "reset", "", "12031 ERROR_INTERNET_CONNECTION_RESET", 4},
      {"DELE", "body", "-ERR 500 locked\n", "runtime_error: Invalid Response: -ERR 500 locked\n", 5},
      {"DELE", "status", "302", "runtime_error: HTTP Status Error: 302", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.command) + " " + c.action + " " + c.arg);
    server->Reset();
    server->AddMessage("A");
    server->AddMessage("B");
    server->Fault(c.command, c.action, c.arg);
    EXPECT_EQ(Receive(), c.outcome);
    const Log expected = {Chal(), Open(1), Session("STAT", 1), Session("RETR+1+2", 1),
                          Session("DELE+1+2", 1)};
    Log log = server->Log();
    ASSERT_EQ(log.size(), c.requests + 1);
    EXPECT_EQ(log.back(), Session("QUIT", 1));
    log.pop_back();
    EXPECT_EQ(log, Log(expected.begin(), expected.begin() + static_cast<long>(c.requests)));
    if (std::string(c.command) != "DELE") {
      EXPECT_EQ(server->Messages().size(), 2u);
    }
  }
}

TEST_F(MessageClientTest, QuitFailuresAreDropped) {
  for (const char* action : {"drop", "reset", "status"}) {
    server->Reset();
    server->Fault("QUIT", action, "500");
    EXPECT_EQ(Receive(), "(no error)") << action;
    EXPECT_EQ(server->Log().back(), Session("QUIT", 1));
  }
}

TEST_F(MessageClientTest, RedirectsAreFollowed) {
  server->Fault("STAT", "redirect");
  EXPECT_EQ(Receive(), "(no error)");
  const Log log = server->Log();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[2], Session("STAT", 1));
  EXPECT_EQ(log[3], Session("STAT", 1));
}

TEST_F(MessageClientTest, AnAnswerBeyondTheLimitIsAbandoned) {
  // "+OK 1\n" and then bytes up to one past the limit, with and without a
  // declared length.
  const std::string over = std::to_string(kMaxAnswerBytes - 5);
  for (const char* action : {"flood", "bloat"}) {
    server->Reset();
    server->Fault("STAT", action, over);
    EXPECT_EQ(Receive(), "12030 ERROR_INTERNET_CONNECTION_ABORTED") << action;
    EXPECT_EQ(server->Log().back(), Session("QUIT", 1)) << action;
  }
  server->Reset();
  server->Fault("STAT", "flood", std::to_string(kMaxAnswerBytes - 6));
  auto client = Client();
  client->Login("user", "password");
  EXPECT_EQ(client->Stat(), 1);  // exactly at the limit
}

TEST_F(MessageClientTest, ASilentServerTimesOut) {
  server->Fault("STAT", "slow", "4");
  EXPECT_EQ(Receive(), "12002 ERROR_INTERNET_TIMEOUT");
  EXPECT_EQ(server->Log().back(), Session("QUIT", 1));
}

TEST(MessageClientTransport, RefusedConnection) {
  // A port that was free a moment ago: nothing listens there.
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(probe, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&address), size), 0);
  ASSERT_EQ(getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size), 0);
  close(probe);
  CMessageClient client("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/ql",
                        std::make_unique<CCurlHttpGetter>(Quick()));
  EXPECT_EQ(Outcome([&] { client.Login("user", "password"); }),
            "12029 ERROR_INTERNET_CANNOT_CONNECT");
}

TEST(MessageClientTransport, UnresolvedName) {
  // A label longer than 63 bytes cannot go into a DNS query: the resolver
  // fails on this machine without sending anything.
  CMessageClient client("http://" + std::string(70, 'a') + ".invalid/ql",
                        std::make_unique<CCurlHttpGetter>(Quick()));
  EXPECT_EQ(Outcome([&] { client.Login("user", "password"); }),
            "12007 ERROR_INTERNET_NAME_NOT_RESOLVED");
}

TEST(MessageClientTransport, BadAddresses) {
  EXPECT_EQ(Outcome([] { CMessageClient("ftp://127.0.0.1/ql").Login("u", "p"); }),
            "12006 ERROR_INTERNET_UNRECOGNIZED_SCHEME");
  EXPECT_EQ(Outcome([] { CMessageClient("http://[::1/ql").Login("u", "p"); }),
            "12005 ERROR_INTERNET_INVALID_URL");
}

}  // namespace
