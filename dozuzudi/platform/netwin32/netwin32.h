// netwin32: the NDS client library ("netwin32.dll", the file libnetwin32.so)
// over an LDAP directory that holds the tree. It exports exactly the 21
// functions below, with C linkage; the extension loads it at first use and
// calls them through its table (admin/password/nds/nds_client.h).
//
// The tree. Each tree has a registry key
// HKEY_LOCAL_MACHINE\SOFTWARE\Veltra\NDS\Trees\<TREE> (tree names ignore
// case; see tree_settings.h for its values): the directory's servers and
// the TLS rules of platform/ldap/directory_connection.h (ldaps or StartTLS,
// the server's certificate always verified, plain LDAP only to a loopback
// address when the tree allows it), the DN that stands for [Root] and the
// naming attributes of typeless names.
//
// Names. Strings are NUL-terminated single-byte text in ISO-8859-1 (each
// byte is the character of that code), as the extension's conversion gives
// them; the library speaks UTF-8 to the directory. An NDS name is
//   full      ".jsmith.sales.acme"   leaf first, a leading dot
//   relative  "jsmith.sales"         completed with the name context (key
//             DCK_NAME_CONTEXT, default "[Root]"); each trailing dot drops
//             the leftmost component of the context first
//   typeful   ".CN=jsmith.OU=sales.O=acme", components may hold several
//             values joined by "+" ("CN=a+UID=b")
//   "[Root]"  the tree's root
// A backslash makes the next character plain ("dot\.ted" is one component
// "dot.ted"). Typeless components get their attribute by position: the leaf
// the tree's leaf attribute, the containers the container attributes from
// the top down. Component values are always escaped before they enter a DN
// or a filter. Names are at most MAX_DN_CHARS characters.
// Names that the library returns are full names: typeless when the typeless
// rules give back the same DN, else typeful.
//
// Threads. A context handle is used by one thread at a time (the thread
// that created it, typically); any number of threads use their own contexts
// at once. Buffers and filter cursors belong to their caller likewise.
// Contexts live in a table owned by the library: a freed or unknown handle
// (0 included) answers NDS_ERR_BAD_CONTEXT and touches nothing.
//
// Passwords. The library copies a login password only while the context is
// logged in (to bind again after a lost connection) and wipes every copy
// before freeing it; no password appears in any message or trace.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "platform/base/api.h"

VLT_API_BEGIN

typedef uint32_t NWDSContextHandle;
typedef int32_t NWDSCCODE;

// Opaque to callers: made by NWDSAllocBuf and NWDSAllocFilter.
typedef struct NWDSBuf Buf_T;
typedef Buf_T* pBuf_T;
typedef struct NWDSFilterCursor Filter_Cursor_T;
typedef Filter_Cursor_T* pFilter_Cursor_T;
// Called for each value of a filter that is freed; may be null.
typedef void (*NWDSFreeValueProc)(uint32_t nSyntax, void* pvValue);

#define MAX_DN_CHARS 256
#define MAX_SCHEMA_NAME_CHARS 32
// Sizes of the name buffers the reading functions fill (with the NUL).
#define MAX_DN_BYTES (MAX_DN_CHARS + 1)
#define MAX_SCHEMA_NAME_BYTES (MAX_SCHEMA_NAME_CHARS + 1)
#define NDS_DEFAULT_MESSAGE_LEN 4096

// Context keys (NWDSSetContext).
#define DCK_NAME_CONTEXT 3  // value: const char*, a container name or "[Root]"
#define DCK_TREE_NAME 11    // value: const char*, the tree's name

// Buffer operations (NWDSInitBuf).
#define DSV_READ 3            // attribute names to read
#define DSV_SEARCH 6          // attribute names for NWDSSearch
#define DSV_SEARCH_FILTER 28  // a filter for NWDSSearch (NWDSPutFilter)

// Search scopes and information types (NWDSSearch).
#define DS_SEARCH_ENTRY 0
#define DS_SEARCH_SUBORDINATES 1
#define DS_SEARCH_SUBTREE 2
#define DS_ATTRIBUTE_NAMES 0
#define DS_ATTRIBUTE_VALUES 1
#define NO_MORE_ITERATIONS (-1)

// Filter tokens (NWDSAddFilterToken), in infix order:
// expression := and (FTOK_OR and)*;  and := unary (FTOK_AND unary)*;
// unary := FTOK_NOT unary | FTOK_LPAREN expression FTOK_RPAREN | item;
// item := FTOK_ANAME name (FTOK_EQ | FTOK_GE | FTOK_LE | FTOK_APPROX) FTOK_AVAL
//         value | FTOK_PRESENT FTOK_ANAME name | FTOK_BASECLS class
//         (the name, value and class are the tokens' values);
// an optional FTOK_END closes the list.
#define FTOK_END 0
#define FTOK_OR 1
#define FTOK_AND 2
#define FTOK_NOT 3
#define FTOK_LPAREN 4
#define FTOK_RPAREN 5
#define FTOK_AVAL 6
#define FTOK_EQ 7
#define FTOK_GE 8
#define FTOK_LE 9
#define FTOK_APPROX 10
#define FTOK_ANAME 14
#define FTOK_PRESENT 15
#define FTOK_BASECLS 17

// Syntaxes the library knows. Their values are NUL-terminated strings (a
// SYN_DIST_NAME value is an NDS name).
#define SYN_DIST_NAME 1
#define SYN_CE_STRING 2
#define SYN_CI_STRING 3
#define SYN_TEL_NUMBER 10
#define SYN_CLASS_NAME 20

// Completion codes: 0 is success, every failure is negative.
#define NDS_ERR_ACCOUNT_LOCKED (-197)             // locked (failed logins, or by an administrator)
#define NDS_ERR_DUPLICATE_PASSWORD (-215)         // the new password is in the history
#define NDS_ERR_PASSWORD_TOO_SHORT (-216)         // too short, or refused by a quality check
#define NDS_ERR_PASSWORD_TOO_YOUNG (-217)         // changed too recently to change again
#define NDS_ERR_PASSWORD_EXPIRED_NO_GRACE (-222)  // expired, no grace login left
#define NDS_ERR_PASSWORD_EXPIRED (-223)           // logged in, but the password must change now
#define NDS_ERR_NOT_ENOUGH_MEMORY (-301)
#define NDS_ERR_BAD_KEY (-302)                    // a context key the library does not know
#define NDS_ERR_BAD_CONTEXT (-303)                // unknown handle, or no tree set
#define NDS_ERR_BUFFER_FULL (-304)                // what is put does not fit the buffer
#define NDS_ERR_BUFFER_EMPTY (-307)               // read past what the buffer holds
#define NDS_ERR_BAD_VERB (-308)                   // a buffer of another operation
#define NDS_ERR_TOO_MANY_TOKENS (-316)
#define NDS_ERR_INVALID_HANDLE (-322)             // not a buffer or cursor of the library
#define NDS_ERR_BUFFER_ZERO_LENGTH (-323)
#define NDS_ERR_INVALID_FILTER_SYNTAX (-326)
#define NDS_ERR_NULL_POINTER (-331)
#define NDS_ERR_NO_SUCH_TREE (-332)               // no registry key, or no server or root for it
#define NDS_ERR_NOT_LOGGED_IN (-337)
#define NDS_ERR_FAILED_SERVER_AUTHENT (-339)      // TLS failed: certificate, handshake, or plain refused
#define NDS_ERR_NO_SUCH_SYNTAX (-341)
#define NDS_ERR_INVALID_DS_NAME (-342)            // a name that does not parse
#define NDS_ERR_UNICODE_TRANSLATION (-346)        // text not representable in ISO-8859-1
#define NDS_ERR_SCHEMA_NAME_TOO_LONG (-347)
#define NDS_ERR_DN_TOO_LONG (-353)
#define NDS_ERR_NO_SUCH_ENTRY (-601)
#define NDS_ERR_NO_SUCH_ATTRIBUTE (-603)
#define NDS_ERR_SYNTAX_VIOLATION (-613)           // the directory refused a value, naming no rule
#define NDS_ERR_TRANSPORT_FAILURE (-625)          // no server answered, or the connection was lost
#define NDS_ERR_REMOTE_FAILURE (-635)             // any other refusal of the directory
#define NDS_ERR_INVALID_REQUEST (-641)
#define NDS_ERR_INVALID_ITERATION (-642)
#define NDS_ERR_INSUFFICIENT_BUFFER (-649)        // one object does not fit an empty result buffer
#define NDS_ERR_FAILED_AUTHENTICATION (-669)      // wrong password (or no such user)
#define NDS_ERR_NO_ACCESS (-672)
// Accepted by the extension as "logged in"; never returned by this library.
#define NDS_ERR_PASSWORD_EXPIRED_GRACE 34960

#ifdef __cplusplus
extern "C" {
#endif
#pragma GCC visibility push(default)

// Contexts ---------------------------------------------------------------

// A new context: no tree, name context "[Root]", not logged in. *pContext is
// 0 on failure (NDS_ERR_NOT_ENOUGH_MEMORY when the table is full).
NWDSCCODE NWDSCreateContextHandle(NWDSContextHandle* pContext);
// DCK_TREE_NAME: the tree, looked up in the registry now (NDS_ERR_NO_SUCH_TREE
// when it has no usable key); a context that was logged in is logged out.
// DCK_NAME_CONTEXT: the container that relative names complete.
NWDSCCODE NWDSSetContext(NWDSContextHandle context, int nKey, const void* pvValue);
// Binds as the user with the password, with the password-policy request
// control. 0; NDS_ERR_PASSWORD_EXPIRED (logged in, by a grace login or after
// an administrator's reset: the password must change);
// NDS_ERR_FAILED_AUTHENTICATION; NDS_ERR_PASSWORD_EXPIRED_NO_GRACE;
// NDS_ERR_ACCOUNT_LOCKED; NDS_ERR_TRANSPORT_FAILURE;
// NDS_ERR_FAILED_SERVER_AUTHENT; NDS_ERR_INVALID_DS_NAME and the other codes
// above. An empty password fails without reaching the directory (an empty
// simple bind would be anonymous). dwOptions and dwValidity are not used.
NWDSCCODE NWDSLogin(NWDSContextHandle context, uint32_t dwOptions, const char* pszUser,
                    const char* pszPassword, uint32_t dwValidity);
// The password modify operation (RFC 3062) as the logged-in user, with the
// old and new password and the password-policy request control. 0;
// NDS_ERR_FAILED_AUTHENTICATION (wrong old password);
// NDS_ERR_PASSWORD_TOO_SHORT; NDS_ERR_DUPLICATE_PASSWORD;
// NDS_ERR_PASSWORD_TOO_YOUNG; NDS_ERR_NOT_LOGGED_IN; other codes above.
// Never retried. dwOption is not used.
NWDSCCODE NWDSChangeObjectPassword(NWDSContextHandle context, uint32_t dwOption,
                                   const char* pszObject, const char* pszOld, const char* pszNew);
// Ends the login: the password copy is wiped, open searches end, and the
// connection is unbound, or kept idle for the tree when it is sound (an
// idle connection is always bound again before its next use).
NWDSCCODE NWDSLogout(NWDSContextHandle context);
// NWDSLogout, then the handle is gone.
NWDSCCODE NWDSFreeContext(NWDSContextHandle context);

// Buffers ----------------------------------------------------------------

// A buffer of cb bytes (1 to 65536; NDS_DEFAULT_MESSAGE_LEN is usual).
NWDSCCODE NWDSAllocBuf(size_t cb, pBuf_T* ppBuf);
// Empties the buffer for one operation (DSV_READ, DSV_SEARCH or
// DSV_SEARCH_FILTER).
NWDSCCODE NWDSInitBuf(NWDSContextHandle context, uint32_t nOperation, pBuf_T pBuf);
// Appends an attribute name to a DSV_READ or DSV_SEARCH buffer;
// NDS_ERR_BUFFER_FULL (the buffer unchanged) when it does not fit.
NWDSCCODE NWDSPutAttrName(NWDSContextHandle context, pBuf_T pBuf, const char* pszAttrName);
NWDSCCODE NWDSFreeBuf(pBuf_T pBuf);

// Filters ----------------------------------------------------------------

NWDSCCODE NWDSAllocFilter(pFilter_Cursor_T* ppCursor);
// Appends a token; pvValue is the attribute name (FTOK_ANAME), the value
// (FTOK_AVAL, a string of the syntax nSyntax), the class name
// (FTOK_BASECLS), else null. At most
// 256 tokens. The value is not copied: it must stay valid until
// NWDSPutFilter consumes the cursor or NWDSFreeFilter frees it; both call
// pfnFreeValue, when not null, for each token's non-null value.
NWDSCCODE NWDSAddFilterToken(pFilter_Cursor_T pCursor, uint16_t nToken, const void* pvValue,
                             uint32_t nSyntax);
// The syntax of an attribute: known NDS names ("CN", "Surname", "Member",
// "Group Membership", "Object Class", ...) and plain LDAP attribute names
// (SYN_CI_STRING); NDS_ERR_NO_SUCH_ATTRIBUTE otherwise.
NWDSCCODE NWDSGetSyntaxID(NWDSContextHandle context, const char* pszAttrName,
                          uint32_t* pnSyntax);
// Checks the filter and writes it into a DSV_SEARCH_FILTER buffer. On
// success the cursor is consumed (freed, pfnFreeValue called for its
// values); on failure it stays the caller's, to free with NWDSFreeFilter.
NWDSCCODE NWDSPutFilter(NWDSContextHandle context, pBuf_T pBuf, pFilter_Cursor_T pCursor,
                        NWDSFreeValueProc pfnFreeValue);
NWDSCCODE NWDSFreeFilter(pFilter_Cursor_T pCursor, NWDSFreeValueProc pfnFreeValue);

// Search -----------------------------------------------------------------

// Searches from pszBase ("[Root]" or a container name) with the filter
// (null: every object), returning each object's full name and, with
// nInfoType DS_ATTRIBUTE_VALUES, the values of the attributes named in
// pAttrNames (or of all readable attributes with fAllAttrs; password
// attributes never). "Group Membership" is the directory's groupMembership
// where its schema has one, else memberOf; "Object Class" values
// inetOrgPerson and person read "User", groupOfNames "Group".
// *piIterationHandle is NO_MORE_ITERATIONS to start; the result buffer gets
// as many whole objects as fit, and *piIterationHandle a value to pass back
// for the rest, or NO_MORE_ITERATIONS once all were returned. On any
// failure the iteration ends: *piIterationHandle becomes NO_MORE_ITERATIONS
// and NWDSGetObjectCount on the result buffer answers the same code.
// nCountObjectsToSearch > 0 limits the objects in all; the count placed in
// this buffer goes to *pnCountObjectsSearched when it is not null.
// NDS_ERR_INSUFFICIENT_BUFFER when one object alone does not fit.
// An iteration reads its pages on the context's connection; a directory that
// pages one search per connection at a time (OpenLDAP) may refuse the next
// page of the older of two interleaved iterations of one context (a
// negative code, never a wrong page): finish one before starting another.
NWDSCCODE NWDSSearch(NWDSContextHandle context, const char* pszBase, int nScope,
                     uint8_t fSearchAliases, pBuf_T pFilter, uint32_t nInfoType,
                     uint8_t fAllAttrs, pBuf_T pAttrNames, int32_t* piIterationHandle,
                     int32_t nCountObjectsToSearch, int32_t* pnCountObjectsSearched,
                     pBuf_T pObjectInfo);

// Reading a result buffer, in order: the count, then per object its name,
// per attribute its name, per value its size and value. An object's or
// attribute's unread remainder is skipped by the next name read. Reading
// past the end: NDS_ERR_BUFFER_EMPTY; a buffer of another kind:
// NDS_ERR_BAD_VERB. A failing read moves nothing.
NWDSCCODE NWDSGetObjectCount(NWDSContextHandle context, pBuf_T pBuf, uint32_t* pnObjects);
typedef struct {
  uint32_t objectFlags;       // 0
  uint32_t subordinateCount;  // 0
  uint32_t modificationTime;  // 0
  char baseClass[MAX_SCHEMA_NAME_BYTES];  // "User", "Group", ... or ""
} Object_Info_T;
// REQUIRES: pszObjectName holds MAX_DN_BYTES bytes; pObjectInfo may be null.
NWDSCCODE NWDSGetObjectName(NWDSContextHandle context, pBuf_T pBuf, char* pszObjectName,
                            uint32_t* pnAttrs, Object_Info_T* pObjectInfo);
// REQUIRES: pszAttrName holds MAX_SCHEMA_NAME_BYTES bytes.
NWDSCCODE NWDSGetAttrName(NWDSContextHandle context, pBuf_T pBuf, char* pszAttrName,
                          uint32_t* pnValues, uint32_t* pnSyntax);
// The bytes that NWDSGetAttrVal writes for the next value (the NUL included).
NWDSCCODE NWDSComputeAttrValSize(NWDSContextHandle context, pBuf_T pBuf, uint32_t nSyntax,
                                 uint32_t* pcbValue);
// REQUIRES: pvValue holds the size NWDSComputeAttrValSize gave.
NWDSCCODE NWDSGetAttrVal(NWDSContextHandle context, pBuf_T pBuf, uint32_t nSyntax,
                         void* pvValue);

#pragma GCC visibility pop
#ifdef __cplusplus
}
#endif
VLT_API_END
