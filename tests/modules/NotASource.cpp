// A module that loads but exports nothing: neither DS_Entry nor anything at ordinal 1.
int NotASourceAnswer() { return 42; }
