-- wrk: POST a well-formed change-password request that the extension
-- answers in-band ("operation-failed": no domain type and no "@" in the
-- user name) without reaching a back end.
wrk.method = "POST"
wrk.headers["Content-Type"] = "text/xml"
wrk.body = [[<?xml version="1.0" encoding="UTF-8"?>
<AdminProtocol version="1.0">
  <RequestChangePassword>
    <UserName>jsmith</UserName>
    <Domain></Domain>
    <OldPassword>Old-Password-1</OldPassword>
    <NewPassword>New-Password-2</NewPassword>
  </RequestChangePassword>
</AdminProtocol>
]]
