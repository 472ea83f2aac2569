#pragma once
// For the fuzzers of readers that parse JSON: Qt 5.15's JSON parser loses
// the containers of a key given twice in one object when the document is
// cut short or holds the key again later (found by these fuzzers, e.g.
// {"":"","":[{"":"","":0},{"":"","":"","":""}],"":[],...}). The loss is in
// QJsonDocument::fromJson itself, before any of our code sees the
// document, so it is kept out of the leak check; any other leak still
// stops the run. The allocation is made deep inside Qt, which keeps no
// frame pointers: the stacks are taken the slow way so that the parser's
// entry is on them. Include in one file of a fuzz target only.

extern "C" const char *__asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

extern "C" const char *__lsan_default_suppressions()
{
    return "leak:QJsonDocument::fromJson\n";
}
