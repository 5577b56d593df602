// Lets one instance of the program run per user session. The claim is an
// exclusive flock on a lock file in the runtime folder; the holder listens on
// a local socket beside it, through which a later instance asks it to bring
// its main window forward.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <string>

class QLocalServer;

class CSingleInstance : public QObject {
 public:
  // The lock file and the socket live in folder (the runtime folder when
  // empty) under the given base name.
  explicit CSingleInstance(const std::string& folder = std::string(),
                           const std::string& baseName = "QlFolvane");
  ~CSingleInstance() override;

  // True when this instance now holds the claim; false when another does.
  // Throws CWin32Exception when the lock file cannot be opened.
  bool Claim();
  // Gives the claim up (also done by the destructor); stops listening.
  void Release();
  bool HoldsClaim() const { return m_lockFd >= 0; }

  // While holding the claim: answer every request by calling raise.
  // Throws CWin32Exception when the socket cannot be set up.
  void Listen(std::function<void()> raise);
  // From another instance: ask the holder to bring its window forward and
  // wait for its answer. Throws CWin32Exception when it cannot be reached (for
  // instance while it has not yet created its window).
  void BringFirstForward(int timeoutMs = 5000) const;

  std::string GetLockPath() const { return m_lockPath; }
  std::string GetSocketPath() const { return m_socketPath; }

 private:
  void OnNewConnection();

  std::string m_lockPath;
  std::string m_socketPath;
  int m_lockFd = -1;
  std::unique_ptr<QLocalServer> m_server;
  std::function<void()> m_raise;
};
