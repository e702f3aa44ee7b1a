#pragma once
#define kMinimalDialogId 100
#define kMinimalTextId 101
