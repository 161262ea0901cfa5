// Linked into every test: refuses to run outside the isolated environment that
// run-isolated.sh makes, so no test can ever write into the real user's files.
#include <QByteArray>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace {
void requireIsolatedHome()
{
    const QByteArray home = qgetenv("HOME");
    if (!home.contains("/tavrune-test.")) {
        std::fprintf(stderr, "This test must run through tests/support/run-isolated.sh (ctest does that); "
                             "HOME is %s\n", home.constData());
        std::exit(2);
    }
}
} // namespace

Q_CONSTRUCTOR_FUNCTION(requireIsolatedHome)
