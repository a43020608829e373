// The desktop facilities the main window needs, each behind its own small class in this folder.
#pragma once
