// Buffers: allocation, attribute names, and the reading of search results.
#include "platform/netwin32/nds_buffer.h"

#include <cstring>
#include <new>
#include <set>

#include "platform/netwin32/nds_context.h"

namespace netwin32 {
namespace {

constexpr size_t kMaxBufferBytes = 65536;

CRITICAL_SECTION s_csBuffers;
std::set<const NWDSBuf*> s_buffers GUARDED_BY(s_csBuffers);

template <typename T>
void Put(std::string* ps, T n) {
  ps->append(reinterpret_cast<const char*>(&n), sizeof n);
}

// Bounded reads of a result buffer: every read checks what is left.
class CReader {
 public:
  CReader(const NWDSBuf& buf, size_t nOffset) : m_pb(buf.pb.get()), m_cb(buf.cbUsed), m_n(nOffset) {}
  template <typename T>
  bool Read(T* pn) {
    if (m_cb - m_n < sizeof(T)) return false;
    std::memcpy(pn, m_pb + m_n, sizeof(T));
    m_n += sizeof(T);
    return true;
  }
  bool ReadBytes(size_t cb, std::string_view* ps) {
    if (m_cb - m_n < cb) return false;
    *ps = std::string_view(reinterpret_cast<const char*>(m_pb + m_n), cb);
    m_n += cb;
    return true;
  }
  size_t Offset() const { return m_n; }

 private:
  const uint8_t* m_pb;
  size_t m_cb;
  size_t m_n;
};

bool SkipValues(CReader* pReader, CResultCursor* pCursor) {
  for (; pCursor->cValuesLeft > 0; --pCursor->cValuesLeft) {
    uint32_t cb = 0;
    std::string_view s;
    if (!pReader->Read(&cb) || !pReader->ReadBytes(cb, &s)) return false;
  }
  return true;
}

// Reads an attribute's header (name, syntax, value count).
bool ReadAttrHeader(CReader* pReader, std::string_view* psName, uint32_t* pnSyntax, uint32_t* pcValues) {
  uint8_t cb = 0;
  return pReader->Read(&cb) && pReader->ReadBytes(cb, psName) && pReader->Read(pnSyntax) &&
         pReader->Read(pcValues);
}

bool SkipAttributes(CReader* pReader, CResultCursor* pCursor) {
  if (!SkipValues(pReader, pCursor)) return false;
  for (; pCursor->cAttrsLeft > 0; --pCursor->cAttrsLeft) {
    std::string_view sName;
    if (!ReadAttrHeader(pReader, &sName, &pCursor->nSyntax, &pCursor->cValuesLeft) ||
        !SkipValues(pReader, pCursor))
      return false;
  }
  return true;
}

// The next value of the current attribute, as the caller gets it.
NWDSCCODE PeekValue(const NWDSBuf& buf, uint32_t nSyntax, std::string* psValue) {
  if (!buf.cursor.fStarted || buf.cursor.cValuesLeft == 0) return NDS_ERR_BUFFER_EMPTY;
  if (nSyntax != buf.cursor.nSyntax) return NDS_ERR_NO_SUCH_SYNTAX;
  CReader reader(buf, buf.cursor.nOffset);
  uint32_t cb = 0;
  std::string_view s;
  if (!reader.Read(&cb) || !reader.ReadBytes(cb, &s)) return NDS_ERR_BUFFER_EMPTY;
  if (s.find('\0') != std::string_view::npos || !Utf8ToLatin1(s, psValue))
    return NDS_ERR_UNICODE_TRANSLATION;
  return 0;
}

NWDSCCODE CheckResultBuffer(const NWDSBuf* pBuf) {
  NWDSCCODE nCode = CheckBuffer(pBuf);
  if (nCode != 0) return nCode;
  if (pBuf->eKind != EBufferKind::kResult) return NDS_ERR_BAD_VERB;
  return pBuf->nFailure;
}

NWDSCCODE CheckContext(NWDSContextHandle context) {
  std::shared_ptr<CNdsContext> pContext = FindContext(context);
  return pContext ? pContext->Check() : NDS_ERR_BAD_CONTEXT;
}

}  // namespace

NWDSCCODE CheckBuffer(const NWDSBuf* pBuf) {
  if (pBuf == nullptr) return NDS_ERR_NULL_POINTER;
  CSectionLock lock(&s_csBuffers);
  return s_buffers.count(pBuf) != 0 ? 0 : NDS_ERR_INVALID_HANDLE;
}

std::vector<std::string> ReadAttrNames(const NWDSBuf& buf) {
  std::vector<std::string> rgs;
  CReader reader(buf, 0);
  for (uint32_t i = 0; i < buf.cItems; ++i) {
    uint8_t cb = 0;
    std::string_view s;
    if (!reader.Read(&cb) || !reader.ReadBytes(cb, &s)) break;
    rgs.emplace_back(s);
  }
  return rgs;
}

void StartResult(NWDSBuf* pBuf) {
  pBuf->eKind = EBufferKind::kResult;
  pBuf->nOperation = DSV_SEARCH;
  pBuf->nFailure = 0;
  pBuf->cursor = CResultCursor();
  uint32_t cObjects = 0;
  std::memcpy(pBuf->pb.get(), &cObjects, sizeof cObjects);
  pBuf->cbUsed = sizeof cObjects;
}

void FailResult(NWDSBuf* pBuf, NWDSCCODE nCode) {
  StartResult(pBuf);
  pBuf->nFailure = nCode;
}

uint32_t ResultObjectCount(const NWDSBuf& buf) {
  uint32_t cObjects = 0;
  std::memcpy(&cObjects, buf.pb.get(), sizeof cObjects);
  return cObjects;
}

NWDSCCODE AppendResultObject(NWDSBuf* pBuf, const CResultObject& object, bool* pfAppended) {
  *pfAppended = false;
  std::string sRecord;
  if (object.sName.size() > UINT16_MAX || object.sBaseClass.size() > UINT8_MAX)
    return NDS_ERR_INSUFFICIENT_BUFFER;
  Put(&sRecord, static_cast<uint16_t>(object.sName.size()));
  sRecord += object.sName;
  Put(&sRecord, static_cast<uint8_t>(object.sBaseClass.size()));
  sRecord += object.sBaseClass;
  Put(&sRecord, static_cast<uint32_t>(object.rgAttributes.size()));
  for (const CResultAttribute& attr : object.rgAttributes) {
    if (attr.sName.size() > UINT8_MAX) return NDS_ERR_INSUFFICIENT_BUFFER;
    Put(&sRecord, static_cast<uint8_t>(attr.sName.size()));
    sRecord += attr.sName;
    Put(&sRecord, attr.nSyntax);
    Put(&sRecord, static_cast<uint32_t>(attr.rgsValues.size()));
    for (const std::string& sValue : attr.rgsValues) {
      Put(&sRecord, static_cast<uint32_t>(sValue.size()));
      sRecord += sValue;
    }
  }
  if (sRecord.size() > pBuf->cbMax - sizeof(uint32_t)) return NDS_ERR_INSUFFICIENT_BUFFER;
  if (sRecord.size() > pBuf->cbMax - pBuf->cbUsed) return 0;
  std::memcpy(pBuf->pb.get() + pBuf->cbUsed, sRecord.data(), sRecord.size());
  pBuf->cbUsed += sRecord.size();
  uint32_t cObjects = ResultObjectCount(*pBuf) + 1;
  std::memcpy(pBuf->pb.get(), &cObjects, sizeof cObjects);
  *pfAppended = true;
  return 0;
}

}  // namespace netwin32

using namespace netwin32;

extern "C" {

NWDSCCODE NWDSAllocBuf(size_t cb, pBuf_T* ppBuf) {
  if (ppBuf == nullptr) return NDS_ERR_NULL_POINTER;
  *ppBuf = nullptr;
  if (cb == 0) return NDS_ERR_BUFFER_ZERO_LENGTH;
  // A result holds at least its object count.
  if (cb > kMaxBufferBytes || cb < sizeof(uint32_t)) return NDS_ERR_INVALID_REQUEST;
  auto pBuf = std::make_unique<NWDSBuf>();
  pBuf->pb.reset(new (std::nothrow) uint8_t[cb]);
  if (!pBuf->pb) return NDS_ERR_NOT_ENOUGH_MEMORY;
  pBuf->cbMax = cb;
  CSectionLock lock(&s_csBuffers);
  s_buffers.insert(pBuf.get());
  *ppBuf = pBuf.release();
  return 0;
}

NWDSCCODE NWDSInitBuf(NWDSContextHandle context, uint32_t nOperation, pBuf_T pBuf) {
  NWDSCCODE nCode = CheckBuffer(pBuf);
  if (nCode == 0) nCode = CheckContext(context);
  if (nCode != 0) return nCode;
  EBufferKind eKind = EBufferKind::kEmpty;
  if (nOperation == DSV_READ || nOperation == DSV_SEARCH)
    eKind = EBufferKind::kAttrNames;
  else if (nOperation == DSV_SEARCH_FILTER)
    eKind = EBufferKind::kFilter;
  else
    return NDS_ERR_BAD_VERB;
  pBuf->eKind = eKind;
  pBuf->nOperation = nOperation;
  pBuf->cbUsed = 0;
  pBuf->cItems = 0;
  pBuf->nFailure = 0;
  pBuf->cursor = CResultCursor();
  return 0;
}

NWDSCCODE NWDSPutAttrName(NWDSContextHandle context, pBuf_T pBuf, const char* pszAttrName) {
  NWDSCCODE nCode = CheckBuffer(pBuf);
  if (nCode == 0) nCode = CheckContext(context);
  if (nCode != 0) return nCode;
  if (pszAttrName == nullptr) return NDS_ERR_NULL_POINTER;
  if (pBuf->eKind != EBufferKind::kAttrNames) return NDS_ERR_BAD_VERB;
  size_t cb = strlen(pszAttrName);
  if (cb == 0) return NDS_ERR_NO_SUCH_ATTRIBUTE;
  if (cb > MAX_SCHEMA_NAME_CHARS) return NDS_ERR_SCHEMA_NAME_TOO_LONG;
  if (1 + cb > pBuf->cbMax - pBuf->cbUsed) return NDS_ERR_BUFFER_FULL;
  pBuf->pb[pBuf->cbUsed] = static_cast<uint8_t>(cb);
  std::memcpy(pBuf->pb.get() + pBuf->cbUsed + 1, pszAttrName, cb);
  pBuf->cbUsed += 1 + cb;
  ++pBuf->cItems;
  return 0;
}

NWDSCCODE NWDSFreeBuf(pBuf_T pBuf) {
  if (pBuf == nullptr) return NDS_ERR_NULL_POINTER;
  {
    CSectionLock lock(&s_csBuffers);
    if (s_buffers.erase(pBuf) == 0) return NDS_ERR_INVALID_HANDLE;
  }
  // Results may hold names of the directory; nothing of them is left behind.
  std::memset(pBuf->pb.get(), 0, pBuf->cbMax);
  delete pBuf;
  return 0;
}

NWDSCCODE NWDSGetObjectCount(NWDSContextHandle context, pBuf_T pBuf, uint32_t* pnObjects) {
  NWDSCCODE nCode = CheckResultBuffer(pBuf);
  if (nCode == 0) nCode = CheckContext(context);
  if (nCode != 0) return nCode;
  if (pnObjects == nullptr) return NDS_ERR_NULL_POINTER;
  pBuf->cursor = CResultCursor();
  pBuf->cursor.nOffset = sizeof(uint32_t);
  pBuf->cursor.cObjectsLeft = ResultObjectCount(*pBuf);
  pBuf->cursor.fStarted = true;
  *pnObjects = pBuf->cursor.cObjectsLeft;
  return 0;
}

NWDSCCODE NWDSGetObjectName(NWDSContextHandle context, pBuf_T pBuf, char* pszObjectName,
                            uint32_t* pnAttrs, Object_Info_T* pObjectInfo) {
  NWDSCCODE nCode = CheckResultBuffer(pBuf);
  if (nCode == 0) nCode = CheckContext(context);
  if (nCode != 0) return nCode;
  if (pszObjectName == nullptr || pnAttrs == nullptr) return NDS_ERR_NULL_POINTER;
  CResultCursor cursor = pBuf->cursor;
  CReader reader(*pBuf, cursor.nOffset);
  if (!cursor.fStarted || !SkipAttributes(&reader, &cursor) || cursor.cObjectsLeft == 0)
    return NDS_ERR_BUFFER_EMPTY;
  uint16_t cbName = 0;
  uint8_t cbClass = 0;
  uint32_t cAttrs = 0;
  std::string_view sName;
  std::string_view sClass;
  if (!reader.Read(&cbName) || !reader.ReadBytes(cbName, &sName) || !reader.Read(&cbClass) ||
      !reader.ReadBytes(cbClass, &sClass) || !reader.Read(&cAttrs))
    return NDS_ERR_BUFFER_EMPTY;
  std::string sLatin1;
  if (!Utf8ToLatin1(sName, &sLatin1)) return NDS_ERR_UNICODE_TRANSLATION;
  if (sLatin1.size() > MAX_DN_CHARS) return NDS_ERR_DN_TOO_LONG;
  std::memcpy(pszObjectName, sLatin1.c_str(), sLatin1.size() + 1);
  if (pObjectInfo != nullptr) {
    *pObjectInfo = Object_Info_T{};
    if (sClass.size() <= MAX_SCHEMA_NAME_CHARS) std::memcpy(pObjectInfo->baseClass, sClass.data(), sClass.size());
  }
  *pnAttrs = cAttrs;
  cursor.nOffset = reader.Offset();
  --cursor.cObjectsLeft;
  cursor.cAttrsLeft = cAttrs;
  pBuf->cursor = cursor;
  return 0;
}

NWDSCCODE NWDSGetAttrName(NWDSContextHandle context, pBuf_T pBuf, char* pszAttrName,
                          uint32_t* pnValues, uint32_t* pnSyntax) {
  NWDSCCODE nCode = CheckResultBuffer(pBuf);
  if (nCode == 0) nCode = CheckContext(context);
  if (nCode != 0) return nCode;
  if (pszAttrName == nullptr || pnValues == nullptr || pnSyntax == nullptr) return NDS_ERR_NULL_POINTER;
  CResultCursor cursor = pBuf->cursor;
  CReader reader(*pBuf, cursor.nOffset);
  if (!cursor.fStarted || !SkipValues(&reader, &cursor) || cursor.cAttrsLeft == 0)
    return NDS_ERR_BUFFER_EMPTY;
  std::string_view sName;
  if (!ReadAttrHeader(&reader, &sName, &cursor.nSyntax, &cursor.cValuesLeft)) return NDS_ERR_BUFFER_EMPTY;
  if (sName.size() > MAX_SCHEMA_NAME_CHARS) return NDS_ERR_SCHEMA_NAME_TOO_LONG;
  std::memcpy(pszAttrName, sName.data(), sName.size());
  pszAttrName[sName.size()] = '\0';
  *pnValues = cursor.cValuesLeft;
  *pnSyntax = cursor.nSyntax;
  cursor.nOffset = reader.Offset();
  --cursor.cAttrsLeft;
  pBuf->cursor = cursor;
  return 0;
}

NWDSCCODE NWDSComputeAttrValSize(NWDSContextHandle context, pBuf_T pBuf, uint32_t nSyntax,
                                 uint32_t* pcbValue) {
  NWDSCCODE nCode = CheckResultBuffer(pBuf);
  if (nCode == 0) nCode = CheckContext(context);
  if (nCode != 0) return nCode;
  if (pcbValue == nullptr) return NDS_ERR_NULL_POINTER;
  std::string sValue;
  nCode = PeekValue(*pBuf, nSyntax, &sValue);
  if (nCode == 0) *pcbValue = static_cast<uint32_t>(sValue.size() + 1);
  return nCode;
}

NWDSCCODE NWDSGetAttrVal(NWDSContextHandle context, pBuf_T pBuf, uint32_t nSyntax, void* pvValue) {
  NWDSCCODE nCode = CheckResultBuffer(pBuf);
  if (nCode == 0) nCode = CheckContext(context);
  if (nCode != 0) return nCode;
  if (pvValue == nullptr) return NDS_ERR_NULL_POINTER;
  std::string sValue;
  nCode = PeekValue(*pBuf, nSyntax, &sValue);
  if (nCode != 0) return nCode;
  std::memcpy(pvValue, sValue.c_str(), sValue.size() + 1);
  CReader reader(*pBuf, pBuf->cursor.nOffset);
  uint32_t cb = 0;
  std::string_view s;
  reader.Read(&cb);
  reader.ReadBytes(cb, &s);
  pBuf->cursor.nOffset = reader.Offset();
  --pBuf->cursor.cValuesLeft;
  return 0;
}

}  // extern "C"
