#pragma once
// placeholder: loopback HTTP server for tests
