// GoogleTest entry for every test program. Under Windows it prints results to stdout only:
// GoogleTest's own printer also hands every failure to OutputDebugStringA, whose debug exception
// crashes a Wine process whose 32-bit side runs under qemu, so the first failure would end the
// program (and wait for Wine's crash debugger) instead of being reported. A run in which a test
// skipped, or no test ran, fails: it did not test what it is for.
#include <gtest/gtest.h>

#include <cstdio>

#ifdef _WIN32
namespace {

class StdoutPrinter : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo& test) override
    {
        printf("[ RUN      ] %s.%s\n", test.test_suite_name(), test.name());
        fflush(stdout);
    }

    void OnTestPartResult(const testing::TestPartResult& result) override
    {
        if (result.failed()) {
            printf("%s:%d: Failure\n%s\n", result.file_name() ? result.file_name() : "(unknown file)",
                   result.line_number(), result.message());
        } else if (result.skipped()) {
            printf("Skipped: %s\n", result.message());
        }
        fflush(stdout);
    }

    void OnTestEnd(const testing::TestInfo& test) override
    {
        const testing::TestResult& result = *test.result();
        const char* verdict = result.Skipped() ? " SKIPPED " : result.Passed() ? "       OK" : "  FAILED ";
        printf("[%s ] %s.%s (%lld ms)\n", verdict, test.test_suite_name(), test.name(),
               static_cast<long long>(result.elapsed_time()));
        fflush(stdout);
    }

    void OnTestProgramEnd(const testing::UnitTest& unit) override
    {
        printf("[==========] %d tests ran (%lld ms).\n", unit.test_to_run_count(),
               static_cast<long long>(unit.elapsed_time()));
        printf("[  PASSED  ] %d tests.\n", unit.successful_test_count());
        if (unit.skipped_test_count() > 0) printf("[  SKIPPED ] %d tests.\n", unit.skipped_test_count());
        if (unit.failed_test_count() > 0) {
            printf("[  FAILED  ] %d tests, listed below:\n", unit.failed_test_count());
            for (int i = 0; i < unit.total_test_suite_count(); ++i) {
                const testing::TestSuite& suite = *unit.GetTestSuite(i);
                for (int j = 0; j < suite.total_test_count(); ++j) {
                    const testing::TestInfo& test = *suite.GetTestInfo(j);
                    if (test.should_run() && test.result()->Failed())
                        printf("[  FAILED  ] %s.%s\n", suite.name(), test.name());
                }
            }
        }
        fflush(stdout);
    }
};

}  // namespace
#endif

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
#ifdef _WIN32
    testing::TestEventListeners& listeners = testing::UnitTest::GetInstance()->listeners();
    delete listeners.Release(listeners.default_result_printer());
    listeners.Append(new StdoutPrinter);
#endif
    const int result = RUN_ALL_TESTS();
    const testing::UnitTest& unit = *testing::UnitTest::GetInstance();
    if (result == 0 && unit.skipped_test_count() > 0) {
        printf("FAILED: %d test(s) skipped, so this run did not test what it is for.\n", unit.skipped_test_count());
        return 1;
    }
    if (result == 0 && unit.test_to_run_count() == 0) {
        printf("FAILED: no test ran.\n");
        return 1;
    }
    return result;
}
