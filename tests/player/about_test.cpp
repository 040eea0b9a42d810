// The about box and its update check, against a web server of the test's own on the
// loopback address.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <algorithm>
#include <fstream>
#include <sys/stat.h>
#include <mutex>
#include <string>
#include <thread>

#include "PlayerFixture.h"
#include "player/uAbout.h"
#include "support/TestSupport.h"

namespace {

// Answers every request on 127.0.0.1 with one canned response and keeps the last request.
class LoopbackServer {
 public:
  explicit LoopbackServer(std::string response, int delayMs = 0)
      : response_(std::move(response)), delayMs_(delayMs) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(fd_, 4);
    socklen_t len = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~LoopbackServer() {
    stop_ = true;
    shutdown(fd_, SHUT_RDWR);
    close(fd_);
    thread_.join();
  }
  std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string Request() {
    std::lock_guard<std::mutex> lock(mutex_);
    return request_;
  }

 private:
  void Serve() {
    while (!stop_) {
      int c = accept(fd_, nullptr, nullptr);
      if (c < 0) return;
      std::string req;
      char buf[4096];
      while (req.find("\r\n\r\n") == std::string::npos) {
        ssize_t n = recv(c, buf, sizeof buf, 0);
        if (n <= 0) break;
        req.append(buf, static_cast<size_t>(n));
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        request_ = req;
      }
      for (int waited = 0; waited < delayMs_ && !stop_; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      for (size_t sent = 0; sent < response_.size();) {
        ssize_t n = send(c, response_.data() + sent, response_.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
      }
      close(c);
    }
  }

  std::string response_;
  int delayMs_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::string request_;
  std::thread thread_;
};

std::string Ok(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

class AboutTest : public PlayerTest {
 protected:
  void SetUp() override {
    PlayerTest::SetUp();
    StartPlayer();
    Application->CreateForm(frmAbout);
    frmAbout->Http->SetReadTimeout(1500);
    // Every opening of the box is answered by closing it, noting which page it showed.
    frmAbout->OnShow = [this](TObject*) {
      shownPage = Front();
      ++shown;
      frmAbout->Close();
    };
  }
  void TearDown() override {
    UpdateServer = savedServer;
    PlayerTest::TearDown();
    frmAbout = nullptr;
  }
  // The page in front: of the three, the one last in the window's stacking order.
  TPanel* Front() const {
    TPanel* front = nullptr;
    for (Integer i = 0; i < frmAbout->ControlCount(); ++i) {
      for (TPanel* p : {frmAbout->pnlCredits, frmAbout->pnlVersions, frmAbout->pnlUpdate})
        if (frmAbout->Controls(i) == p) front = p;
    }
    return front;
  }
  // "CHECK UPDATE" pressed and released with the mouse.
  void ClickUpdate() {
    TSpeedButton* b = frmAbout->btnUpdate;
    SendMouseForTesting(frmAbout, WM_LBUTTONDOWN, b->Left() + 5, b->Top() + 5, {ssLeft});
    SendMouseForTesting(frmAbout, WM_LBUTTONUP, b->Left() + 5, b->Top() + 5);
  }
  std::string UpdateText() const { return frmAbout->txtUpdate->Text(); }

  String savedServer = UpdateServer;
  TPanel* shownPage = nullptr;
  int shown = 0;
};

TEST_F(AboutTest, TheServersAnswerIsFollowedByTheLocalVersion) {
  struct Case {
    std::string body, shown;
  } cases[] = {{"0.9.1\r\n", "0.9.1\r\n0.8.2.0"},
               {"0.9.1", "0.9.10.8.2.0"},
               {"", "0.8.2.0"},
               {"new: 0.9.1\nget it\n", "new: 0.9.1\nget it\n0.8.2.0"}};
  for (const Case& c : cases) {
    LoopbackServer server(Ok(c.body));
    UpdateServer = server.Host();
    ClickUpdate();
    EXPECT_EQ(UpdateText(), c.shown) << c.body;
    EXPECT_EQ(Front(), frmAbout->pnlUpdate);
    EXPECT_TRUE(BoxTexts().empty());
    // One GET of the update file with both headers the server expects.
    const std::string req = server.Request();
    EXPECT_EQ(req.rfind("GET /vorncorp/phtml/update.txt HTTP/1.1\r\n", 0), 0u) << req;
    EXPECT_NE(req.find("\r\nAccept: text/html, */*\r\n"), std::string::npos) << req;
    EXPECT_NE(req.find("\r\nUser-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"),
              std::string::npos)
        << req;
  }
}

// No answer, a refused connection, an error status, a server that never answers and an
// answer too long to show: each reaches the error report and the memo keeps "Checking ...".
TEST_F(AboutTest, AFailedCheckIsReportedAndLeavesCheckingShown) {
  LoopbackServer missing("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
  LoopbackServer slow(Ok("0.9.1\r\n"), 5000);
  LoopbackServer huge(Ok(std::string(3 << 20, 'x')));
  int refusedPort;
  {
    LoopbackServer gone(Ok(""));
    refusedPort = std::stoi(gone.Host().substr(10));
  }
  const std::string hosts[] = {missing.Host(), slow.Host(), huge.Host(),
                               "127.0.0.1:" + std::to_string(refusedPort)};
  for (const std::string& host : hosts) {
    dialogs.clear();
    UpdateServer = host;
    ClickUpdate();
    EXPECT_EQ(UpdateText(), "Checking ...") << host;
    ASSERT_EQ(BoxTexts().size(), 1u) << host;
    if (host == missing.Host()) {
      EXPECT_NE(BoxTexts()[0].find("404"), std::string::npos);
    }
  }
}

TEST_F(AboutTest, BinaryBytesAreShownAsTheyCame) {
  std::string body = "v1";
  body += '\0';
  body += "\x01\xFF\xE9\r\n";
  LoopbackServer server(Ok(body));
  UpdateServer = server.Host();
  ClickUpdate();
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_EQ(UpdateText(), body + "0.8.2.0");
}

TEST_F(AboutTest, EachWayInShowsItsPage) {
  frmMain->imgTitleDblClick(nullptr);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(shownPage, frmAbout->pnlCredits);

  LoopbackServer server(Ok("0.9.1\r\n"));
  UpdateServer = server.Host();
  frmMain->popUpdate->Click();
  EXPECT_EQ(shown, 2);
  EXPECT_EQ(shownPage, frmAbout->pnlUpdate);
  EXPECT_EQ(UpdateText(), "0.9.1\r\n0.8.2.0");

  // Without an answer the box is not shown at all.
  UpdateServer = "127.0.0.1:1";
  EXPECT_THROW(frmMain->popUpdate->Click(), EHttpError);
  EXPECT_EQ(shown, 2);

  frmAbout->btnVersionsClick(nullptr);
  EXPECT_EQ(Front(), frmAbout->pnlVersions);
  frmMain->popAbout->Click();
  EXPECT_EQ(shownPage, frmAbout->pnlCredits);
}

// The mail and web pictures go to the desktop's opener.
TEST_F(AboutTest, MailAndWebPicturesOpenTheirTargets) {
  const std::string dir = kaztest::MakeTempDir("opener");
  const std::string opener = dir + "/opener.sh";
  {
    std::ofstream f(opener);
    f << "#!/bin/sh\necho \"$1\" >> " << dir << "/opened\n";
  }
  chmod(opener.c_str(), 0755);
  setenv("KAZ_SHELL_OPEN", opener.c_str(), 1);
  frmAbout->imgMailClick(nullptr);
  frmAbout->imgURLClick(nullptr);
  std::string opened;
  ASSERT_TRUE(PumpUntil([&] {
    opened = kaztest::ReadFile(dir + "/opened");
    return std::count(opened.begin(), opened.end(), '\n') == 2;
  }));
  unsetenv("KAZ_SHELL_OPEN");
  EXPECT_NE(opened.find("mailto:"), std::string::npos);
  EXPECT_NE(opened.find("http://"), std::string::npos);
  EXPECT_EQ(frmAbout->imgMail->Cursor(), crHandPoint);
}

}  // namespace
