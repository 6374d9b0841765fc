#include "admin/password/library/library_trace.h"

#include "admin/trace/qtr_lazy_module.h"

namespace {

// {d79d30a5-a71f-417f-803f-f3ef09557a3f}
constexpr GUID kguidLibraryModule = {
    0xd79d30a5, 0xa71f, 0x417f, {0x80, 0x3f, 0xf3, 0xef, 0x09, 0x55, 0x7a, 0x3f}};
// {2c980274-af2b-4a55-97ef-627f3583f089}
constexpr GUID kguidLibraryMessages = {
    0x2c980274, 0xaf2b, 0x4a55, {0x97, 0xef, 0x62, 0x7f, 0x35, 0x83, 0xf0, 0x89}};

CQtrLazyModule s_qtrLibraryModule = QTR_LAZY_MODULE(kguidLibraryModule, u"RK_Library_Krel");

}  // namespace

void LibraryTrace(EQtrClass eClass, USHORT nMessage) {
  QtrTraceState* pState = QtrLazyState(&s_qtrLibraryModule);
  unsigned nMinLevel = eClass == QTR_ENTRY ? 5 : 1;
  if (QtrEnabled(pState, eClass, nMinLevel))
    QtrWrite(QtrLoggerHandle(pState), &kguidLibraryMessages, nMessage);
}
