#include "password_input.h"

#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

CPasswordInput::~CPasswordInput() { explicit_bzero(m_rgch, sizeof(m_rgch)); }

bool CPasswordInput::Read(const char* pszPrompt) {
  termios saved{};
  bool fTerminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
  if (fTerminal) {
    fprintf(stderr, "%s", pszPrompt);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  // Byte by byte, so nothing past the line is consumed and no buffer of the
  // C library keeps a copy.
  m_cch = 0;
  bool fLine = false, fTooLong = false;
  for (;;) {
    char ch;
    ssize_t cb = read(STDIN_FILENO, &ch, 1);
    if (cb < 0 && errno == EINTR) continue;
    if (cb <= 0) break;
    fLine = true;
    if (ch == '\n') break;
    if (m_cch == kMaxBytes) {
      fTooLong = true;
      continue;
    }
    m_rgch[m_cch++] = ch;
    ch = 0;
  }
  if (fTerminal) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    fprintf(stderr, "\n");
  }
  if (m_cch > 0 && m_rgch[m_cch - 1] == '\r') --m_cch;
  m_rgch[m_cch] = 0;
  if (fTooLong) {
    explicit_bzero(m_rgch, sizeof(m_rgch));
    m_cch = 0;
    return false;
  }
  return fLine;
}
