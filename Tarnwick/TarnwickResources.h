#pragma once
// The application's images are compiled into this static library as Qt
// resources; they must be registered once before the first one is used. Every
// class here that loads an image calls this itself; calling it again does nothing.
void initTarnwickResources();
