#pragma once

/// What a fuzz target process needs before its first input: a QCoreApplication for the main
/// queue, and XDG folders in a scratch folder so that nothing reaches the user's files.
class FuzzSetup {
  public:
    static void initialize(int* argc, char*** argv);
    /// Aborts with the broken invariant's description when `condition` fails: a finding.
    static void check(bool condition, const char* what);
};
