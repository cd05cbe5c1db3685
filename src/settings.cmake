# Settings file rules (no Qt); filled in by the settings work.
