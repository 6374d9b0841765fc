// The peer of the Kerberos benchmark: a minimal libkrb5 client that changes
// one user's password COUNT times in a row, directly (an initial ticket for
// kadmin/changepw with the old password, then the change), and prints the
// changes per second. Passwords: FIRST, then PREFIX1 ... PREFIXCOUNT.
//   krb5_change_client REALM KDC KPASSWD USER FIRST PREFIX COUNT
// The configuration comes from KRB5_CONFIG (run.sh writes one).
#include <krb5/krb5.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  if (argc != 8) {
    std::fprintf(stderr, "usage: krb5_change_client REALM KDC KPASSWD USER FIRST PREFIX COUNT\n");
    return 2;
  }
  const char* pszRealm = argv[1];
  std::string user = std::string(argv[4]) + "@" + pszRealm;
  std::string current = argv[5];
  int nCount = std::atoi(argv[7]);
  krb5_context ctx = nullptr;
  if (krb5_init_context(&ctx) != 0) return 1;
  krb5_principal client = nullptr;
  if (krb5_parse_name(ctx, user.c_str(), &client) != 0) return 1;
  auto start = std::chrono::steady_clock::now();
  for (int i = 1; i <= nCount; ++i) {
    std::string next = std::string(argv[6]) + std::to_string(i);
    krb5_get_init_creds_opt* opt = nullptr;
    krb5_get_init_creds_opt_alloc(ctx, &opt);
    krb5_get_init_creds_opt_set_change_password_prompt(opt, 0);
    krb5_creds creds;
    std::memset(&creds, 0, sizeof(creds));
    krb5_error_code code = krb5_get_init_creds_password(ctx, &creds, client, current.c_str(), nullptr, nullptr,
                                                        0, "kadmin/changepw", opt);
    int nResult = -1;
    if (code == 0) {
      krb5_data resultCode{}, result{};
      code = krb5_change_password(ctx, &creds, next.c_str(), &nResult, &resultCode, &result);
      krb5_free_data_contents(ctx, &resultCode);
      krb5_free_data_contents(ctx, &result);
      krb5_free_cred_contents(ctx, &creds);
    }
    krb5_get_init_creds_opt_free(ctx, opt);
    if (code != 0 || nResult != 0) {
      std::fprintf(stderr, "change %d failed: code %d, result %d\n", i, code, nResult);
      return 1;
    }
    current = next;
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.2f\n", nCount / seconds);
  krb5_free_principal(ctx, client);
  krb5_free_context(ctx);
  return 0;
}
