// The one codec for everything that crosses the wire between the screens and the application
// server: data, key and delta packets, the JSON-RPC envelope, OLE Automation dates and the key
// list format. No Qt here: the server links this library too.
#pragma once

#include "ChtListColumns.h"
#include "ColumnTable.h"
#include "DataPacket.h"
#include "DeltaPacket.h"
#include "FieldDef.h"
#include "JsonRpc.h"
#include "KeyList.h"
#include "OleDate.h"
#include "PacketWriter.h"
#include "RpcDecodeError.h"
#include "Utf8.h"
#include "WireError.h"
#include "cht_wire_export.h"
