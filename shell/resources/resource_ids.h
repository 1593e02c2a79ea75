// Resource identifiers shared by the resource script and the C++ code.
#ifndef SHELL_RESOURCES_RESOURCE_IDS_H_
#define SHELL_RESOURCES_RESOURCE_IDS_H_

// The application icon group: window-class icon and tray icon.
#define IDI_APP_ICON 101

#endif  // SHELL_RESOURCES_RESOURCE_IDS_H_
