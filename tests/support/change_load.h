// Changes of several users' passwords in a loop, one thread per user, while
// a test does something to a back end (kills it, restarts it). Each user
// goes from password to password. A change that did not succeed may still
// have been applied (its answer lost with the back end, or a retry of it
// refused as a repeat), so its password stays a candidate until a change
// succeeds; a wrong old password makes the user try the candidates, oldest
// first.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vlttest {

class CChangeLoad {
 public:
  // |change| (user, old, new) returns the answer's error id ("" for success)
  // or the status line of an answer that is not 200.
  using FChange = std::function<std::string(const std::string&, const std::string&, const std::string&)>;

  CChangeLoad(FChange change, const std::vector<std::string>& users, const std::string& firstPassword)
      : m_change(std::move(change)) {
    for (const std::string& user : users) m_users.push_back({user, firstPassword, {}, 0});
    for (CUser& user : m_users) m_threads.emplace_back([this, &user] { Run(user); });
  }
  ~CChangeLoad() { Stop(); }

  void Stop() {
    m_fStop = true;
    for (auto& thread : m_threads)
      if (thread.joinable()) thread.join();
  }
  // How often each answer came.
  std::map<std::string, int> Answers() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_answers;
  }
  // After Stop: one more change per user. True when all succeed.
  bool Recover() {
    bool fAll = true;
    for (CUser& user : m_users) fAll = Change(user) && fAll;
    return fAll;
  }

 private:
  struct CUser {
    std::string name, current;
    std::vector<std::string> candidates;  // oldest first
    int n;
  };
  // One change from the current password, or, when that one is wrong, from
  // each candidate in turn; true on success.
  bool Change(CUser& user) {
    std::string attempted = "Load-" + user.name + "-" + std::to_string(++user.n) + "x!";
    std::string answer = m_change(user.name, user.current, attempted);
    // The oldest first: the change in flight when the back end died.
    for (size_t i = 0; answer == "old-password-invalid" && i < user.candidates.size(); ++i)
      answer = m_change(user.name, user.candidates[i], attempted);
    {
      std::lock_guard<std::mutex> guard(m_lock);
      ++m_answers[answer.empty() ? "success" : answer];
    }
    if (!answer.empty()) {
      user.candidates.push_back(attempted);
      return false;
    }
    user.current = attempted;
    user.candidates.clear();
    return true;
  }
  void Run(CUser& user) {
    while (!m_fStop) Change(user);
  }

  FChange m_change;
  std::vector<CUser> m_users;
  std::vector<std::thread> m_threads;
  std::atomic<bool> m_fStop{false};
  std::mutex m_lock;
  std::map<std::string, int> m_answers;
};

}  // namespace vlttest
