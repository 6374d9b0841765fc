#include "admin/messages/request_message.h"

#include "admin/response/xml_response_writer.h"

void CRequestMessage::BeginResponse(const WCHAR* pwszName) {
  if (m_pWriter == nullptr || pwszName == nullptr || pwszName[0] == 0) return;
  m_pWriter->BeginDocument();
  m_pWriter->AdjustIndent(true);
  m_pWriter->WriteTagStart(pwszName, true, true);
  m_pWriter->WriteTagEnd(false, true);
  m_pWriter->AdjustIndent(true);
}

void CRequestMessage::EndResponse(const WCHAR* pwszName) {
  if (m_pWriter == nullptr || pwszName == nullptr || pwszName[0] == 0) return;
  m_pWriter->AdjustIndent(false);
  m_pWriter->WriteTagStart(pwszName, false, true);
  m_pWriter->WriteTagEnd(false, true);
  m_pWriter->AdjustIndent(false);
  m_pWriter->EndDocument();
}
