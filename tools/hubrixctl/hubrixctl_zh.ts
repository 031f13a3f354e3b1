<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>hubrixctl</name>
    <message>
        <source>no Hubrix is running for %1 (start it, or name its directory with --dir)</source>
        <translation>没有 Hubrix 在 %1 运行（请启动它，或用 --dir 指明它的目录）</translation>
    </message>
    <message>
        <source>Hubrix went away without an answer</source>
        <translation>Hubrix 未作答复就退出了</translation>
    </message>
    <message>
        <source>The directory of the program&apos;s stores (default: that of the program beside hubrixctl).</source>
        <translation>程序数据文件所在的目录（默认：hubrixctl 旁边那个程序的目录）。</translation>
    </message>
    <message>
        <source>Print the program&apos;s replies as JSON, one per line.</source>
        <translation>按 JSON 输出程序的答复，每行一个。</translation>
    </message>
    <message>
        <source>on, off, toggle, cycle: how long to wait for each echo (default 1000).</source>
        <translation>on、off、toggle、cycle：等待每个回应的时间（默认 1000）。</translation>
    </message>
    <message>
        <source>cycle: how long the tiles stay off (default 2000).</source>
        <translation>cycle：设备保持断电的时间（默认 2000）。</translation>
    </message>
    <message>
        <source>Give up when the program has sent nothing for MS milliseconds (default 5000).</source>
        <translation>程序在 MS 毫秒内没有发来任何内容时放弃（默认 5000）。</translation>
    </message>
    <message>
        <source>disconnect: answer the window&apos;s question with yes.</source>
        <translation>disconnect：对窗口的询问回答“是”。</translation>
    </message>
    <message>
        <source>Drives a running Hubrix from scripts.

Commands:
  status                 links, tiles on, awaited or unconfirmed
  get TILES              each tile on, off, unknown or not connected
  on TILES               switch tiles on and wait for the echoes
  off TILES              switch tiles off and wait for the echoes
  toggle TILES           switch each tile the other way
  cycle TILES            off, wait, on; each confirmed
  remark TILE [TEXT]     print or set a tile&apos;s remark
  find TEXT              tiles whose remarks hold TEXT
  events                 follow what happens, one line per event
  connect                query the serial ports and connect the boards
  disconnect             disconnect the boards

TILES: 5 | 1-42 | 5,9,100-105 | link:K | @TEXT (the tiles whose remark is TEXT)
Exit status: 0 done, 1 not all done, 2 no program, 3 no answer, 4 refused, 64 usage.</source>
        <translation>由脚本操作正在运行的 Hubrix。

命令：
  status                 链路，已打开、等待确认或未确认的设备
  get TILES              每个设备的状态：on、off、unknown 或 not connected
  on TILES               打开设备并等待回应
  off TILES              关闭设备并等待回应
  toggle TILES           把每个设备切换到另一状态
  cycle TILES            断电、等待、再通电；每一步都经确认
  remark TILE [TEXT]     显示或设置设备的备注
  find TEXT              备注中含有 TEXT 的设备
  events                 跟随发生的事件，每个事件一行
  connect                查询串口并连接集线板
  disconnect             断开集线板

TILES：5 | 1-42 | 5,9,100-105 | link:K | @TEXT（备注为 TEXT 的设备）
退出状态：0 完成，1 未全部完成，2 没有程序，3 没有答复，4 被拒绝，64 用法错误。</translation>
    </message>
    <message>
        <source>What to do.</source>
        <translation>要做的事。</translation>
    </message>
    <message>
        <source>%1 takes no arguments</source>
        <translation>%1 不带参数</translation>
    </message>
    <message>
        <source>%1 takes one TILES argument</source>
        <translation>%1 需要一个 TILES 参数</translation>
    </message>
    <message>
        <source>@ needs the remark to look for</source>
        <translation>@ 后面需要要查找的备注</translation>
    </message>
    <message>
        <source>not a tile list: %1</source>
        <translation>不是设备列表：%1</translation>
    </message>
    <message>
        <source>remark takes a tile and, to set it, a text</source>
        <translation>remark 需要一个设备号，设置时还需要一段文字</translation>
    </message>
    <message>
        <source>not a tile: %1</source>
        <translation>不是设备号：%1</translation>
    </message>
    <message>
        <source>find takes one text</source>
        <translation>find 需要一段文字</translation>
    </message>
    <message>
        <source>unknown command %1</source>
        <translation>未知命令 %1</translation>
    </message>
    <message>
        <source>no command</source>
        <translation>没有命令</translation>
    </message>
    <message>
        <source>--timeout belongs to on, off, toggle and cycle, --off-ms to cycle</source>
        <translation>--timeout 只用于 on、off、toggle 和 cycle，--off-ms 只用于 cycle</translation>
    </message>
    <message>
        <source>--yes belongs to disconnect</source>
        <translation>--yes 只用于 disconnect</translation>
    </message>
    <message>
        <source>--%1 takes milliseconds, not %2</source>
        <translation>--%1 需要毫秒数，而不是 %2</translation>
    </message>
    <message>
        <source>no tile has the remark &quot;%1&quot;</source>
        <translation>没有设备的备注是“%1”</translation>
    </message>
    <message>
        <source>refused: %1</source>
        <translation>被拒绝：%1</translation>
    </message>
    <message>
        <source>no remark holds &quot;%1&quot;</source>
        <translation>没有备注包含“%1”</translation>
    </message>
    <message>
        <source>no answer from Hubrix</source>
        <translation>Hubrix 没有答复</translation>
    </message>
    <message>
        <source>Hubrix went away</source>
        <translation>Hubrix 已退出</translation>
    </message>
    <message>
        <source>Hubrix runs but its control channel is unavailable: %1</source>
        <translation>Hubrix 正在运行，但它的控制通道不可用：%1</translation>
    </message>
    <message>
        <source>it is starting</source>
        <translation>程序正在启动</translation>
    </message>
</context>
</TS>
