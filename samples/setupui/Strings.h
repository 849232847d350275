// Ids of the setup UI's strings, shared by the program and its satellite resource files.
// Every satellite holds all of them; "%1" in IDS_FAILED stands for the error code.
#pragma once

#define IDS_TITLE 100
#define IDS_PREPARING 101
#define IDS_INSTALLING 102
#define IDS_CANCEL 103
#define IDS_CANCELLING 104
#define IDS_FAILED 105
#define IDS_CONFIG_DAMAGED 106

#define IDS_FIRST IDS_TITLE
#define IDS_LAST IDS_CONFIG_DAMAGED
