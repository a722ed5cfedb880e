"""The count of passed and failed checks of a test script, which ends by
printing the line "N passed, N failed" that the test command adds up."""


class Results:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, what, ok, detail=""):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print("FAIL: %s%s" % (what, (": " + detail) if detail else ""))
