#include "platform/ldap/ldap_gssapi.h"

#include "platform/ldap/directory_connection.h"
#include "platform/base/sync.h"

#include <gssapi/gssapi_krb5.h>
#include <krb5/krb5.h>
#include <sasl/sasl.h>

#include <ctime>
#include <string>

namespace platform {
namespace {

// The cache that holds the service's tickets; one per keytab and principal.
struct CServiceTickets {
  std::string sKey;
  std::string sCacheName;
  time_t tEnd = 0;
};

CRITICAL_SECTION s_csTickets;
CServiceTickets s_tickets GUARDED_BY(s_csTickets);
unsigned s_nCaches GUARDED_BY(s_csTickets) = 0;

// Fills the memory cache with a ticket-granting ticket from the keytab,
// unless it still holds one valid for five more minutes.
bool RefreshTicketsLocked(const CDirectorySettings& settings, std::string* psCacheName)
    REQUIRES(s_csTickets) {
  std::string sKey = settings.sKeytab + '\n' + settings.sKeytabPrincipal;
  if (s_tickets.sKey == sKey && s_tickets.tEnd > time(nullptr) + 300) {
    *psCacheName = s_tickets.sCacheName;
    return true;
  }
  krb5_context ctx = nullptr;
  if (krb5_init_context(&ctx) != 0) return false;
  krb5_keytab kt = nullptr;
  krb5_principal princ = nullptr;
  krb5_ccache cc = nullptr;
  krb5_get_init_creds_opt* pOpt = nullptr;
  krb5_creds creds {};
  bool fCreds = false;
  std::string sCacheName = s_tickets.sKey == sKey && !s_tickets.sCacheName.empty()
                               ? s_tickets.sCacheName
                               : "MEMORY:vltadmin-service-" + std::to_string(++s_nCaches);
  krb5_error_code rc = krb5_kt_resolve(ctx, ("FILE:" + settings.sKeytab).c_str(), &kt);
  if (rc == 0 && !settings.sKeytabPrincipal.empty()) {
    rc = krb5_parse_name(ctx, settings.sKeytabPrincipal.c_str(), &princ);
  } else if (rc == 0) {
    // No principal named: the keytab's first entry.
    krb5_kt_cursor cursor;
    krb5_keytab_entry entry;
    rc = krb5_kt_start_seq_get(ctx, kt, &cursor);
    if (rc == 0) {
      rc = krb5_kt_next_entry(ctx, kt, &entry, &cursor);
      if (rc == 0) {
        rc = krb5_copy_principal(ctx, entry.principal, &princ);
        krb5_free_keytab_entry_contents(ctx, &entry);
      }
      krb5_kt_end_seq_get(ctx, kt, &cursor);
    }
  }
  if (rc == 0) rc = krb5_get_init_creds_opt_alloc(ctx, &pOpt);
  if (rc == 0) rc = krb5_get_init_creds_keytab(ctx, &creds, princ, kt, 0, nullptr, pOpt);
  fCreds = rc == 0;
  if (rc == 0) rc = krb5_cc_resolve(ctx, sCacheName.c_str(), &cc);
  if (rc == 0) rc = krb5_cc_initialize(ctx, cc, princ);
  if (rc == 0) rc = krb5_cc_store_cred(ctx, cc, &creds);
  if (rc == 0) {
    s_tickets.sKey = sKey;
    s_tickets.sCacheName = sCacheName;
    s_tickets.tEnd = creds.times.endtime;
    *psCacheName = sCacheName;
  }
  if (fCreds) krb5_free_cred_contents(ctx, &creds);
  // The memory cache lives on with its name; closing the handle keeps it.
  if (cc != nullptr) krb5_cc_close(ctx, cc);
  if (pOpt != nullptr) krb5_get_init_creds_opt_free(ctx, pOpt);
  if (princ != nullptr) krb5_free_principal(ctx, princ);
  if (kt != nullptr) krb5_kt_close(ctx, kt);
  krb5_free_context(ctx);
  return rc == 0;
}

bool RefreshTickets(const CDirectorySettings& settings, std::string* psCacheName) {
  EnterCriticalSection(&s_csTickets);
  bool fOk = RefreshTicketsLocked(settings, psCacheName);
  LeaveCriticalSection(&s_csTickets);
  return fOk;
}

// The mechanism asks for an authorization identity before it starts; the
// answer is empty (that of the principal), and the service's credentials
// are handed to the connection's SASL context, which exists by then.
// Credentials the mechanism acquired itself would never be released.
int Interact(LDAP* pld, unsigned, void* pvCredentials, void* pvInteractions) {
  ldap_set_option(pld, LDAP_OPT_X_SASL_GSS_CREDS, pvCredentials);
  for (auto* pInteract = static_cast<sasl_interact_t*>(pvInteractions);
       pInteract->id != SASL_CB_LIST_END; ++pInteract) {
    pInteract->result = "";
    pInteract->len = 0;
  }
  return LDAP_SUCCESS;
}

}  // namespace

int BindGssapi(LDAP* pld, const CDirectorySettings& settings) {
  if (!IsPrivateFile(settings.sKeytab)) return LDAP_INVALID_CREDENTIALS;
  std::string sCacheName;
  if (!RefreshTickets(settings, &sCacheName)) return LDAP_INVALID_CREDENTIALS;
  // The connection is encrypted already: no SASL security layer (Active
  // Directory refuses one inside TLS). The server's principal is named
  // after the host in the server URI, without reverse lookups.
  ldap_set_option(pld, LDAP_OPT_X_SASL_SECPROPS, "maxssf=0");
  ldap_set_option(pld, LDAP_OPT_X_SASL_NOCANON, LDAP_OPT_ON);
  // This thread's GSSAPI calls take the service's credential cache.
  OM_uint32 nMinor = 0;
  const char* pszPrevious = nullptr;
  gss_krb5_ccache_name(&nMinor, sCacheName.c_str(), &pszPrevious);
  std::string sPrevious = pszPrevious != nullptr ? pszPrevious : "";
  gss_OID_set_desc mechs = {1, const_cast<gss_OID>(gss_mech_krb5)};
  gss_cred_id_t cred = GSS_C_NO_CREDENTIAL;
  int nCode = LDAP_INVALID_CREDENTIALS;
  if (!GSS_ERROR(gss_acquire_cred(&nMinor, GSS_C_NO_NAME, GSS_C_INDEFINITE, &mechs,
                                  GSS_C_INITIATE, &cred, nullptr, nullptr))) {
    nCode = ldap_sasl_interactive_bind_s(pld, nullptr, "GSSAPI", nullptr, nullptr, LDAP_SASL_QUIET,
                                         Interact, cred);
    gss_release_cred(&nMinor, &cred);
  }
  gss_krb5_ccache_name(&nMinor, sPrevious.empty() ? nullptr : sPrevious.c_str(), nullptr);
  return nCode;
}

}  // namespace platform
