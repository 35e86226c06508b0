# The server connection: TNetConnection and its transports, CheckResultServ.
list(APPEND FRAMEWORK_NET_SOURCES
  TRemoteArg.cpp
  TRemoteServer.cpp
  TNetConnection.cpp
  HttpTransport.cpp
  UiWait.cpp
  CheckResultServ.cpp
  RecordingTransport.cpp
  FaultyTransport.cpp
)
