// Reads a password from standard input: one line, without echo when the
// input is a terminal. Passwords never come from the command line, where
// other users could read them.
#pragma once

#include <cstddef>

class CPasswordInput {
 public:
  static constexpr size_t kMaxBytes = 1024;
  CPasswordInput() = default;
  ~CPasswordInput();  // wipes the buffer
  CPasswordInput(const CPasswordInput&) = delete;
  CPasswordInput& operator=(const CPasswordInput&) = delete;

  // Reads up to the end of the line (a CR before it is dropped). False at
  // end of input with nothing read, or for a line longer than kMaxBytes.
  bool Read(const char* pszPrompt);
  const char* Text() const { return m_rgch; }
  size_t Size() const { return m_cch; }

 private:
  char m_rgch[kMaxBytes + 1] = {};
  size_t m_cch = 0;
};
