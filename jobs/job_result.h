// What a job came to, decided once by its worker as its last step and read
// by whoever ran it: the dialogs switch on it, tests and the benchmark
// check it. Nothing else needs to be inferred from the rest of an outcome.
#pragma once

enum class JobResult {
    Succeeded,
    // Stopped at an error; the outcome's errorText says which, never empty.
    Failed,
    // The user cancelled before the job was done; no text, nothing to show.
    Cancelled,
    // A decryption found items that already exist and had no consent to
    // replace them: it wrote nothing, and the outcome lists them for the
    // question whose answer a second run carries.
    NeedsConsent,
};
