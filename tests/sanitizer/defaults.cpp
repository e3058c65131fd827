// Linked into every program of a TAVREL_SANITIZE build, so that the tests, the programs
// they start and a hand-run binary all stop at the first finding and share one list of
// leak suppressions. ASAN_OPTIONS and LSAN_OPTIONS in the environment still win.

extern "C" {

const char* __asan_default_options()
{
    return "detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:"
           "check_initialization_order=1:strict_init_order=1";
}

const char* __lsan_default_options()
{
    return "suppressions=" TAVREL_LSAN_SUPPRESSIONS ":print_suppressions=0";
}

const char* __ubsan_default_options()
{
    return "print_stacktrace=1:halt_on_error=1";
}

} // extern "C"
