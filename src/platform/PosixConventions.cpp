#include "platform/Env.h"
#include "platform/SystemConventions.h"

const SystemConventions& Conventions() {
    static const SystemConventions conventions{
        '/', false, "Patchdoc", "~/Brambleco/", "/srv/mylogfolder/", "/srv/logs",
    };
    return conventions;
}

// "Brambleco" in the user's home folder: a user has no right to create folders at the top.
std::string DefaultLogFolder() {
    return (Env::Default().homeFolder() / "Brambleco").u8string() + '/';
}
