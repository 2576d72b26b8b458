-- Procedures for the SQL Server tests (tests/integration/odbc_sqlserver_test.cpp), which load
-- this file batch by batch (batches end at a line holding only GO). Load it into a scratch
-- database: it replaces procedures of these names. Needs SQL Server 2016 SP1 or later
-- (CREATE OR ALTER).
--
-- They cover the three call forms: a first-row reply after a row count, a list, the recordset
-- form, a procedure with @sqlstatus/@sqlmsg outputs and a result set, a failing procedure, a
-- slow one for the command time-out, and one row of every type the engine reads.

IF OBJECT_ID(N'dbo.talwen_log', N'U') IS NULL
  CREATE TABLE dbo.talwen_log (v nvarchar(100), at datetime2 DEFAULT sysdatetime());
GO

-- The grid form's first-row reply. NOCOUNT stays off, so the insert's row count comes first
-- as a result without columns and the reply comes from the select after it.
CREATE OR ALTER PROCEDURE dbo.rf_adjust_carton_qty
  @client nvarchar(20), @carton_no nvarchar(30), @qty int, @operator nvarchar(20)
AS
BEGIN
  INSERT INTO dbo.talwen_log (v) VALUES (@carton_no);
  SELECT 0 AS sqlstatus,
         N'Carton ' + @carton_no + N' of ' + @client + N' holds ' + CAST(@qty AS nvarchar(12))
           AS sqlmsg,
         @operator AS operator;
END
GO

-- A list.
CREATE OR ALTER PROCEDURE dbo.rf_get_uom_list
AS
BEGIN
  SET NOCOUNT ON;
  SELECT uom, description
  FROM (VALUES (N'CTN', N'Carton'), (N'EA', N'Each'), (N'PLT', N'Pallet')) AS v (uom, description)
  ORDER BY uom;
END
GO

-- The recordset form.
CREATE OR ALTER PROCEDURE dbo.rf_get_last_client_accessed @operator nvarchar(20)
AS
BEGIN
  SET NOCOUNT ON;
  SELECT client FROM (VALUES (N'JOE', N'C01')) AS v (operator, client) WHERE operator = @operator;
END
GO

-- The procedure form: outputs, which the driver delivers only after the result set.
CREATE OR ALTER PROCEDURE dbo.rf_system_logout
  @operator nvarchar(20), @sqlstatus int OUTPUT, @sqlmsg nvarchar(255) OUTPUT
AS
BEGIN
  SELECT N'a result set before the outputs' AS note;
  SET @sqlstatus = CASE WHEN @operator IN (N'JOE', N'Zoë') THEN 0 ELSE -1 END;
  SET @sqlmsg = N'Goodbye ' + @operator;
  RETURN 7;
END
GO

-- A procedure that fails for one operator.
CREATE OR ALTER PROCEDURE dbo.rf_check_user_password @operator nvarchar(20), @password nvarchar(20)
AS
BEGIN
  SET NOCOUNT ON;
  IF @operator = N'BROKEN'
    RAISERROR (N'Operator %s is locked.', 16, 1, @operator);
  ELSE
    SELECT CASE WHEN @password = N'joe123' THEN 0 ELSE -1 END AS sqlstatus,
           N'Checked ' + @operator AS sqlmsg;
END
GO

-- A slow one, for the command time-out; optionally inside a transaction of its own, which a
-- cancelled call leaves open unless the caller rolls it back.
CREATE OR ALTER PROCEDURE dbo.talwen_slow @seconds int, @in_transaction bit = 0
AS
BEGIN
  DECLARE @delay char(8) = CONVERT(char(8), DATEADD(second, @seconds, 0), 108);
  IF @in_transaction = 1
  BEGIN
    BEGIN TRANSACTION;
    INSERT INTO dbo.talwen_log (v) VALUES (N'slow');
  END
  WAITFOR DELAY @delay;
  IF @in_transaction = 1 COMMIT;
END
GO

-- One row of every type the engine reads, then a row of Nulls.
CREATE OR ALTER PROCEDURE dbo.talwen_types
AS
BEGIN
  SET NOCOUNT ON;
  SELECT CAST(N'Zoë 倉庫' AS nvarchar(20)) AS nv, CAST('abc' AS varchar(10)) AS v,
         CAST('ab' AS char(4)) AS c, CAST(N'long' AS nvarchar(max)) AS nmax,
         CAST(2147483647 AS int) AS i, CAST(-32768 AS smallint) AS si, CAST(255 AS tinyint) AS ti,
         CAST(-9223372036854775807 AS bigint) AS bi, CAST(1 AS bit) AS b,
         CAST(-0.50 AS decimal(10, 2)) AS d, CAST(12.5 AS numeric(5, 1)) AS n,
         CAST(1234.5678 AS money) AS m, CAST(1.25 AS smallmoney) AS sm, CAST(0.1 AS float) AS f,
         CAST(1.5 AS real) AS r, CAST('2008-03-27' AS date) AS dt,
         CAST('2008-03-27T10:11:12.997' AS datetime) AS dtm,
         CAST('2008-03-27T10:11:12.1234567' AS datetime2) AS dt2,
         CAST('2008-03-27T10:11:00' AS smalldatetime) AS sdt, CAST('10:11:12' AS time) AS tm,
         CAST('A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11' AS uniqueidentifier) AS u,
         CAST(0x01AB AS varbinary(10)) AS vb
  UNION ALL
  SELECT NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
         NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL;
END
GO
