#include "admin/password/password_back_ends.h"

#include "admin/password/ads_password.h"
#include "admin/password/library/password_library.h"
#include "admin/password/nds_password.h"

PasswordBackEnds g_passwordBackEnds = {ChangeDomainPassword, ChangeAdsPassword, ChangeNdsPassword};
