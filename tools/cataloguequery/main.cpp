// cataloguequery: prints what the vault's configured database plug-in
// answers through the interface manager: the vault, its nodes, computers
// with their names and tasks with their folders, pools, storage groups and
// storage locations.
//
// Exit codes: 0 done; 1 the plug-in could not be loaded or a question failed
// (the message on standard error says which); 2 bad command line; 4 the
// output could not be written completely.
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <string>

#include <CLI/CLI.hpp>

#include "CatalogueWalk.h"
#include "DatabaseInterfaces/DbInterfaceManager.h"

int main(int argc, char** argv) {
    CLI::App app{"cataloguequery: prints what the vault's database plug-in ([database] Plugin of the node\n"
                 "configuration) answers: the vault, nodes, computers and their tasks with folders, pools,\n"
                 "storage groups and storage locations. Questions the plug-in does not serve are listed last."};
    std::string config;
    app.add_option("--config", config, "the vault's node configuration (default $VAULT_NODE_CONFIG)");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : 2;
    }
    if (!config.empty() && ::setenv("VAULT_NODE_CONFIG", config.c_str(), 1) != 0) {
        std::cerr << "cataloguequery: cannot set VAULT_NODE_CONFIG" << std::endl;
        return 1;
    }
    try {
        DatabaseInterfaces::DbInterfaceManager manager;
        CatalogueQuery::printCatalogue(CatalogueQuery::walkCatalogue(manager), std::cout);
    } catch (const std::exception& error) {
        std::cerr << "cataloguequery: " << error.what() << std::endl;
        return 1;
    }
    if (!std::cout.flush()) {
        std::cerr << "cataloguequery: the output could not be written" << std::endl;
        return 4;
    }
    return 0;
}
