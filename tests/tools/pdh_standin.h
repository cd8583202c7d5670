// What the stand-in pdh.dll (pdh_standin.cpp) and the tests that drive it share: registry values
// under HKEY_CURRENT_USER\Software\CyclowispTests\PdhStandIn.
//   Figure       REG_DWORD the test writes: the counter's value in hundredths of a percent; no
//                value: the counter has no value (PDH_INVALID_DATA)
//   Counter      REG_DWORD the test writes: 0 means the counter does not exist, as in a broken
//                counter store (PdhAddEnglishCounterA fails); any other or none, it exists
//   FailCollections  REG_DWORD the test writes: how many of the coming collections fail (each
//                counts it down); none or 0, they succeed
//   Collections  REG_DWORD the stand-in writes: the collections of the query last opened, failed
//                ones too
//   Open         REG_DWORD the stand-in writes: 1 while a query is open, 0 once it is closed
//   Path         REG_SZ the stand-in writes: the counter path last asked for
//   LoadCount    REG_DWORD the stand-in writes: how often a process loaded it
//   Loads\<full path of the DLL>   REG_DWORD the stand-in writes when a process loads it
#pragma once

inline const char PDH_STANDIN_KEY[] = "Software\\CyclowispTests\\PdhStandIn";
inline const char PDH_STANDIN_LOADS_KEY[] = "Software\\CyclowispTests\\PdhStandIn\\Loads";
// The one counter it serves, Task Manager's "% Processor Utility" by its English path.
inline const char PDH_STANDIN_COUNTER[] = "\\Processor Information(_Total)\\% Processor Utility";
