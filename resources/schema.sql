-- A fresh knowledge store: the catalog tree and the one settings row.
-- FILE_ID only ever grows (AUTOINCREMENT): a deleted node's id is never given to a new one.
CREATE TABLE FILE_NODE (
    FILE_ID       INTEGER PRIMARY KEY AUTOINCREMENT,
    FILE_NAME     TEXT    NOT NULL DEFAULT '',
    PARENT_ID     INTEGER NOT NULL DEFAULT 0,
    COMMENT       TEXT    NOT NULL DEFAULT '',
    FILETYPE      INTEGER NOT NULL DEFAULT 0,
    RAW_FILE_NAME TEXT    NOT NULL DEFAULT '',
    PATH_LEVEL    INTEGER NOT NULL DEFAULT 0
);

-- Loading reads the rows in PARENT_ID order: the index spares a sort of the whole table and hands
-- the children of one catalog back in FILE_ID order, the order in which they were added.
CREATE INDEX FILE_NODE_PARENT ON FILE_NODE (PARENT_ID);

CREATE TABLE SYS_CONFIG (
    ROOT_DIR            TEXT    NOT NULL DEFAULT '',
    FIRST_RUNNING       INTEGER NOT NULL DEFAULT 0,
    URL_SHORTCUT        INTEGER NOT NULL DEFAULT 0,
    DELDOC_AFTERADDING  INTEGER NOT NULL DEFAULT 0,
    DELDOC_AFTERDELNODE INTEGER NOT NULL DEFAULT 0
);

-- The first start opens the configuration dialog; every option starts off.
INSERT INTO SYS_CONFIG (ROOT_DIR, FIRST_RUNNING, URL_SHORTCUT, DELDOC_AFTERADDING, DELDOC_AFTERDELNODE)
VALUES ('', 1, 0, 0, 0);
