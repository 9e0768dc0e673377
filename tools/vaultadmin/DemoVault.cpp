#include "DemoVault.h"

namespace VaultAdmin {

const char* const kDemoLockedTaskName = "Payroll database";

const std::string& demoDescriptionJson() {
    static const std::string kJson = R"({
  "vault": { "id": "demo-vault", "version": "8.50.0000" },
  "nodes": [ { "hostName": "vault-node-1" }, { "hostName": "vault-node-2" } ],
  "thisNode": "vault-node-1",
  "customers": [
    {
      "name": "Harbour Bakery", "reference": "CUST-0001",
      "locations": [
        {
          "name": "Main street shop", "reference": "LOC-0001",
          "computers": [
            {
              "name": "front-desk",
              "tasks": [
                {
                  "name": "Daily documents", "node": "vault-node-1",
                  "safesets": [
                    { "number": 1, "version": "8.31", "records": 40 },
                    { "number": 2, "version": "8.50", "records": 40, "marked": [ 3 ] }
                  ]
                },
                {
                  "name": "Photo archive", "node": "vault-node-1",
                  "safesets": [
                    { "number": 1, "version": "8.31", "records": 25 },
                    { "number": 2, "version": "8.40", "records": 25, "marked": [ 7, 19 ] },
                    { "number": 3, "version": "8.50", "records": 25 }
                  ]
                }
              ]
            }
          ]
        }
      ]
    },
    {
      "name": "Northfield Engineering", "reference": "CUST-0002",
      "locations": [
        {
          "name": "Design office", "reference": "LOC-0002",
          "computers": [
            {
              "name": "cad-station",
              "tasks": [
                {
                  "name": "Design files", "node": "vault-node-1",
                  "safesets": [
                    { "number": 1, "version": "8.41", "records": 30, "marked": [ 0, 29 ] },
                    { "number": 2, "version": "8.50", "records": 30 }
                  ]
                },
                {
                  "name": "Mail store", "node": "vault-node-1",
                  "safesets": [
                    { "number": 1, "version": "8.40", "records": 20, "marked": [ 5 ], "unavailable": true },
                    { "number": 2, "version": "8.40", "records": 20 }
                  ]
                }
              ]
            },
            {
              "name": "file-server",
              "tasks": [
                {
                  "name": "Branch share", "node": "vault-node-2",
                  "safesets": [ { "number": 1, "version": "8.40", "records": 20, "marked": [ 1 ] } ]
                }
              ]
            }
          ]
        }
      ]
    },
    {
      "name": "Greenway Accounting", "reference": "CUST-0003",
      "locations": [
        {
          "name": "Back office", "reference": "LOC-0003",
          "computers": [
            {
              "name": "accounts-pc",
              "tasks": [
                {
                  "name": "Payroll database", "node": "vault-node-1",
                  "safesets": [
                    { "number": 1, "version": "8.20", "records": 15 },
                    { "number": 2, "version": "8.50", "records": 15 }
                  ]
                }
              ]
            }
          ]
        }
      ]
    }
  ]
}
)";
    return kJson;
}

}  // namespace VaultAdmin
