int vlt_test_support_anchor = 0;
